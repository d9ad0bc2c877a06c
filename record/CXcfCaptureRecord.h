// One captured frame in memory: time, port and status bytes, layer-2 type, a
// record-type-specific extension and the frame bytes. A reader refills the same object for
// every record it reads; the record owns the byte blocks handed to it.
#pragma once

#include <cstdint>
#include <memory>

#include "record/CXcfTimestamp.h"

class CXcfCaptureRecord {
  public:
    CXcfCaptureRecord() = default;
    CXcfCaptureRecord(const CXcfCaptureRecord&) = delete;
    CXcfCaptureRecord& operator=(const CXcfCaptureRecord&) = delete;

    virtual ~CXcfCaptureRecord() = default;
    virtual void setFrameGood(bool good);
    virtual bool isFrameGood() const;
    virtual uint32_t totalLength() const;
    virtual const uint8_t* getExtension() const;
    virtual uint32_t getExtensionLength() const;
    virtual const uint8_t* getFrame() const;
    virtual uint32_t getFrameStoredLength() const;
    virtual uint32_t getFrameLength() const;
    virtual void setPortByte(uint8_t value);
    virtual uint8_t getPortByte() const;
    virtual uint8_t getPortLowBits() const;
    // Stored as given; normalisation happens only in getTimestamp.
    virtual void setTimestamp(uint32_t seconds, uint32_t nanoseconds);
    virtual CXcfTimestamp getTimestamp() const;
    virtual uint32_t getTimestampNanoseconds() const;
    virtual uint32_t getTimestampSeconds() const;
    virtual void setRecordType(int32_t type);
    virtual int32_t getRecordType() const;
    virtual void setStatusByte(uint8_t value);
    virtual uint8_t getStatusByte() const;
    virtual void setLayer2Type(uint8_t value);
    virtual uint8_t getLayer2Type() const;
    virtual void setExtension(uint32_t length, std::unique_ptr<uint8_t[]> bytes);
    virtual void setFrame(uint32_t length, std::unique_ptr<uint8_t[]> bytes);
    virtual void setFrameWithLengths(uint32_t storedLength, uint32_t length,
                                     std::unique_ptr<uint8_t[]> bytes);
    // Resets everything except the record type.
    virtual void clear();

    // Big-endian words at extension bytes 0..3 and 4..7; 0 when the extension is too short.
    uint32_t getExtensionWord0() const;
    uint32_t getExtensionWord1() const;
    // Bits 5 to 7 of the port byte, as 0 to 7.
    uint8_t getPortHighBits() const;
    // Bit 7 of a B4 port byte marks a frame the tester received damaged; bits 0 to 6 number
    // the port.
    static constexpr uint8_t kDamagedFrameBit = 0x80;
    bool isDamagedFrame() const { return (getPortByte() & kDamagedFrameBit) != 0; }
    uint8_t getPortNumber() const {
        return getPortByte() & static_cast<uint8_t>(~kDamagedFrameBit);
    }

    // Like setExtension and setFrame, but with a copy of the bytes, made in a block that the
    // record kept from its previous contents when that block is large enough. A reader that
    // refills one record per frame then allocates nothing per record. False, with the
    // record unchanged, when no memory can be had for the copy.
    bool copyExtension(uint32_t length, const uint8_t* bytes);
    bool copyFrame(uint32_t length, const uint8_t* bytes);

  protected:
    int32_t recordType = 0;
    uint8_t portByte = 0;
    bool frameGood = true;
    uint32_t timestampSeconds = 0;
    uint32_t timestampNanoseconds = 0;
    uint8_t statusByte = 0;
    uint8_t layer2Type = 0;
    uint32_t extensionLength = 0;
    std::unique_ptr<uint8_t[]> extension;
    uint32_t frameStoredLength = 0;
    uint32_t frameLength = 0;
    std::unique_ptr<uint8_t[]> frame;

  private:
    // Spare blocks above this size are released rather than kept.
    static constexpr uint32_t kLargestSpare = 1u << 20;
    // Blocks released by clear, kept for the copy operations, with their sizes.
    struct SpareBlock {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity = 0;
    };
    static void keepSpare(SpareBlock& spare, std::unique_ptr<uint8_t[]>& block, uint32_t capacity);
    // A block of at least length bytes (and at least one), the spare one when it is large
    // enough; capacity receives its size.
    static std::unique_ptr<uint8_t[]> takeSpare(SpareBlock& spare, uint32_t length,
                                                uint32_t& capacity);

    SpareBlock spareExtension;
    SpareBlock spareFrame;
    uint32_t extensionCapacity = 0;
    uint32_t frameCapacity = 0;
};
