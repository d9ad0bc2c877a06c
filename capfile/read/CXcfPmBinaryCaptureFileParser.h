// Reader of the tester family's binary container shared by B3 and B4: prefix, fixed header,
// record type and source name tables, counted strings, and the index section. Reading one
// record (and the header tail) is left to the format readers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

class CXcfPmBinaryCaptureFileParser : public CXcfPmCaptureFileParser {
  public:
    static constexpr uint32_t kIndexEntrySize = 4;

    CXcfPmBinaryCaptureFileParser();
    ~CXcfPmBinaryCaptureFileParser() override;

    bool openFile() override;
    bool readHeader() override;
    bool getPortDescription(uint32_t recordNumber, std::string& portType, std::string& portId,
                            std::string& direction) override;
    uint32_t getSourceCount() override;
    std::string getSourceName(uint32_t index) override;
    bool loadIndexCache(uint32_t firstRecord) override;
    uint32_t readIndexEntry(uint32_t recordNumber) override;

    virtual bool readString(std::string& out);
    virtual bool readRecordTypeTable();
    virtual bool readSourceNameTable();
    // Reads exactly count bytes. With allocate, block is replaced by a new block of count
    // bytes (and emptied again on failure); without, it must already hold count bytes.
    virtual bool readBytes(std::unique_ptr<uint8_t[]>& block, uint32_t count, bool allocate);
    virtual bool readTimeOfDay(CXcfTimeOfDay& out);
    virtual bool readTimestamp(CXcfTimestamp& out);
    virtual bool readUint8(uint8_t& out);
    virtual bool readUint16(uint16_t& out);
    virtual bool readUint32(uint32_t& out);

  protected:
    // The capture times block that ends B3 and B4 headers; fills the capture time members.
    bool readCaptureTimes(uint32_t& triggerPacketNumber);
    // The four report lines of the capture times block.
    std::string captureTimesText(uint32_t triggerPacketNumber) const;
    bool isVersion10() const { return versionMajor == 1 && versionMinor == 0; }
    // A big-endian 32-bit value.
    static uint32_t decode32(const uint8_t* bytes);
    // The non-empty pieces of text between any of the separator characters.
    static std::vector<std::string> splitFields(const std::string& text, const char* separators);
};
