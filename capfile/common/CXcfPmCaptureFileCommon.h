// The header data that only the tester family's files carry: the record type table, the
// source name table and the text header block. A second base of every tester-family reader
// and writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    // The bytes of slot `index` exactly as stored (128 of them); a slot never set reads as
    // zeros.
    const uint8_t* sourceNameSlot(size_t index) const;
    // The slot's bytes to fill in, zeros until then.
    uint8_t* writableSourceNameSlot(size_t index);
    // Every slot back to never set.
    void clearSourceNameTable();
    // The whole table as a file stores it (kSourceNameTableSize bytes).
    void storeSourceNameTable(uint8_t* out) const;

    std::unique_ptr<uint16_t[]> recordTypeTable;  // host byte order

  private:
    // Only the slots that hold a byte take memory: a capture names a handful of its 256
    // sources, and a merge of thousands of inputs holds every input's table at once.
    // slotPlace[i] is 1 + the slot's place in usedSlots, 0 for a slot never set.
    std::array<uint16_t, kSourceNameSlots> slotPlace{};
    std::vector<std::array<uint8_t, kSourceNameSlotSize>> usedSlots;
};
