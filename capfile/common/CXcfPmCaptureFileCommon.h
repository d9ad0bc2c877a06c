// The header data that only the tester family's files carry: the record type table, the
// source name table and the text header block. A second base of every tester-family reader
// and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CXcfPmCaptureFileCommon {
  public:
    static constexpr size_t kRecordTypeEntries = 256;
    static constexpr size_t kSourceNameSlots = 256;
    static constexpr size_t kSourceNameSlotSize = 128;
    static constexpr size_t kSourceNameTableSize = kSourceNameSlots * kSourceNameSlotSize;
    static constexpr uint32_t kMaxSourceNameLength = 120;

    CXcfPmCaptureFileCommon();
    virtual ~CXcfPmCaptureFileCommon();
    CXcfPmCaptureFileCommon(const CXcfPmCaptureFileCommon&) = delete;
    CXcfPmCaptureFileCommon& operator=(const CXcfPmCaptureFileCommon&) = delete;

    // Same names and arguments as in CXcfCaptureFileCommon, so that a class with both bases
    // overrides both at once.
    virtual std::string report(std::string extra) const;
    virtual void reset();

    uint16_t recordTypeEntry(uint8_t index) const;
    void setRecordTypeEntry(uint8_t index, uint16_t value);
    std::string sourceNameEntry(uint8_t index) const;
    void setSourceNameEntry(uint8_t index, uint32_t length, const char* characters);
    void setSourceNameEntry(uint8_t index, std::string text);

    std::string headerString;

  protected:
    std::unique_ptr<uint16_t[]> recordTypeTable;  // host byte order
    std::unique_ptr<uint8_t[]> sourceNameTable;   // the slots exactly as stored in a file
};
