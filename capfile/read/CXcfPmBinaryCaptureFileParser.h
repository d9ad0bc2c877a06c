// Reader of the tester family's binary container shared by B3 and B4: prefix, fixed header,
// record type and source name tables, counted strings, the capture times block, the index
// section, and the path of a record from its extent to its parts. Where a record's fields lie
// and what they mean is left to the format readers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/common/RecordLayout.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

class CXcfPmBinaryCaptureFileParser : public CXcfPmCaptureFileParser {
  public:
    static constexpr uint32_t kIndexEntrySize = xcf::layout::kIndexEntrySize;

    CXcfPmBinaryCaptureFileParser();
    ~CXcfPmBinaryCaptureFileParser() override;

    using CXcfCaptureFileCommon::report;

    // Keeps the tables and the index window: the next open replaces them.
    void reset() override;
    // The file state's report with the capture times block.
    std::string report(std::string extra) const override;
    bool openFile() override;
    // The header up to the end of the capture times block.
    bool readHeader() override;
    // Reads the record with the fields where the format reader's recordShape puts them.
    bool readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) override;
    bool getPortDescription(uint32_t recordNumber, std::string& portType, std::string& portId,
                            std::string& direction) override;
    uint32_t getSourceCount() const override;
    std::string getSourceName(uint32_t index) const override;
    bool loadIndexCache(uint32_t firstRecord) override;
    uint32_t readIndexEntry(uint32_t recordNumber) override;

    uint32_t planRun(uint32_t first, uint32_t maxCount, uint64_t maxBytes,
                     xcf::RecordRun& run) override;
    bool readRecordTime(uint32_t recordNumber, uint32_t& seconds, uint32_t& nanoseconds) override;

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

    uint32_t triggerPacketNumber = 0;

  protected:
    // Where the fields of the file's records lie: known false for a record type (or version)
    // without a layout, whose records all fail; fixedSize bytes of fields (at most
    // kMaxFixedFields), then extensionSize bytes of extension, then the frame.
    struct RecordShape {
        bool known = false;
        size_t fixedSize = 0;
        uint32_t extensionSize = 0;
    };
    static constexpr size_t kMaxFixedFields = xcf::layout::kB4ExtensionOffset;
    virtual RecordShape recordShape() const { return RecordShape(); }
    // Sets the record's values from its fixedSize bytes of fields (the record is cleared,
    // its record type, extension and frame are set around it).
    virtual void decodeRecordFields(const uint8_t* fields, CXcfCaptureRecord& record) {
        (void)fields, (void)record;
    }
    // The header from the record count to the description: the fixed fields, the tables
    // and the counted strings.
    bool readFixedHeader();

    // Reads count (at most kIndexWindowSize) index entries from record firstRecord on into
    // entries; how many could be read.
    uint32_t readIndexEntries(uint32_t firstRecord, uint32_t count, uint32_t* entries);
    // loadIndexCache, taking the entries from `known` (index bytes from firstRecord on,
    // knownCount entries of them) when they cover the window.
    bool loadIndexWindow(uint32_t firstRecord, const uint8_t* known, uint64_t knownCount);
    // Where a record's extension and frame bytes lie once readRecordParts succeeded: inside
    // the read-ahead block (valid until the next read) or, for records larger than that
    // block, in blocks of their own.
    struct RecordParts {
        const uint8_t* extension = nullptr;
        const uint8_t* frame = nullptr;
        std::unique_ptr<uint8_t[]> extensionBlock;
        std::unique_ptr<uint8_t[]> frameBlock;
    };
    // What reading a record takes in both formats before its fields are decoded: the
    // record's extent from the index, checked to lie inside the data section and to leave at
    // least one frame byte behind fixedSize bytes of fields and the extension; then the fields
    // into `fields` and the rest as `parts`. layoutKnown false (a record type without a layout)
    // fails the record like a damaged extent. False, with code 4 for a record that exists but
    // cannot be read, and without touching any record.
    bool readRecordLayout(uint32_t recordNumber, bool layoutKnown, size_t fixedSize,
                          uint32_t extensionSize, uint8_t* fields, RecordParts& parts,
                          uint32_t& frameLength);
    // The checks of readRecordLayout that need no byte of the record: where it starts and how
    // many frame bytes it has.
    bool checkRecordExtent(uint32_t recordNumber, bool layoutKnown, size_t fixedSize,
                           uint32_t extensionSize, uint32_t& offset, uint32_t& frameLength);
    // Hands the extension and the frame to the record: own blocks are moved in, bytes in the
    // read-ahead block are copied into blocks the record recycles. False, with code 4, when no
    // memory can be had for a copy.
    bool storeRecordParts(CXcfCaptureRecord& record, RecordParts& parts, uint32_t extensionSize,
                          uint32_t frameLength);
    // The capture times block that ends B3 and B4 headers; fills the capture time members.
    bool readCaptureTimes(uint32_t& triggerPacketNumber);
    // The four report lines of the capture times block.
    std::string captureTimesText(uint32_t triggerPacketNumber) const;
    bool isVersion10() const { return versionMajor == 1 && versionMinor == 0; }
    // The non-empty pieces of text between any of the separator characters.
    static std::vector<std::string> splitFields(const std::string& text, const char* separators);

    // The writers' fields in front of a frame when the records are laid out as the writers lay
    // them out (B3 version 1.1 of record type 3, B4 of record type 4), so that their bytes can
    // be copied into an output; 0 for any other layout.
    virtual size_t writerFieldsSize() const { return 0; }

  private:
    // Index entries of the last planned run, read in one piece.
    std::vector<uint8_t> runEntries;

    bool readRecordParts(uint32_t offset, uint8_t* fields, size_t fixedSize, uint32_t extensionSize,
                         uint32_t frameLength, RecordParts& parts);
};
