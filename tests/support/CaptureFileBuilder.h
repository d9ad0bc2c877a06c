// Lays out tester-family capture files (the B3/B4 container) byte by byte, independent of
// the writer classes, so that tests can produce valid, damaged and truncated inputs.
//
// Typical use:
//   CaptureFileBuilder b;                       // a valid B3 01.01 file, record type 3
//   b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
//   b.writeTo(dir.file("a.cap"));
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capfile/common/RecordLayout.h"
#include "support/TestSupport.h"

namespace testsupport {

// The extension of the record types the writers write, both words 0.
inline const Bytes kZeroWords(xcf::layout::kExtensionWordsSize, 0);

// Where the parts of a built file lie (offsets from the start of the file).
struct CaptureFileLayout {
    static constexpr size_t kFixedHeader = 13;       // numberOfRecords and what follows
    static constexpr size_t kRecordTypeTable = 31;   // 256 x 16 bits
    static constexpr size_t kSourceNameTable = 543;  // 256 slots x 128 bytes
    static constexpr size_t kHeaderString = 33311;   // counted string
    size_t description = 0;                          // counted string
    size_t captureTimes = 0;                         // 24-byte block (if written)
    size_t data = 0;                                 // first record
    std::vector<uint32_t> recordOffsets;             // where each record was written
    size_t index = 0;                                // index section, 0 when none written
    size_t fileSize = 0;                             // after truncation
};

struct CaptureFileBuilder {
    // --- Prefix ---
    std::string signature = "#MVCF:";   // written as is (any length)
    std::string formatCode = "B3";      // written as is at offset 6
    std::string versionText = "01.01";  // written as is at offset 8; keep 5 characters

    // --- Fixed header. Unset optionals take the values that match the built layout. ---
    std::optional<uint32_t> numberOfRecords;  // default: records.size()
    uint32_t recordLength = 0;                // header field; 0 = variable-length records
    uint16_t masterFormatFlags = 3;
    std::optional<uint32_t> offsetToData;   // default: the first byte after the header
    std::optional<uint32_t> offsetToIndex;  // default: the index start, or 0 without one

    // --- Tables and counted strings ---
    uint16_t recordType = 3;                     // record type table entry 0
    std::map<uint8_t, std::string> sourceNames;  // slot -> name (length written as given)
    std::map<uint8_t, Bytes> rawSourceSlots;     // slot -> up to 128 raw bytes (damaged slots)
    std::string headerString = "#Test header\n";
    std::string description = "#Description: test\n";

    // --- Capture times block (B3 and B4 headers end with it) ---
    bool writeCaptureTimes = true;
    uint16_t startHours = 10, startMinutes = 20, startMilliseconds = 30000;
    uint16_t stopHours = 11, stopMinutes = 21, stopMilliseconds = 31000;
    uint32_t stopSeconds = 1000, stopNanoseconds = 500;
    uint32_t triggerPacketNumber = 0;

    // --- Data section: each record's raw bytes, written back to back ---
    std::vector<Bytes> records;
    Bytes gapAfterHeader;  // bytes between the header and offsetToData's default

    // --- Index section, written after the last record ---
    bool writeIndex = true;                       // false: no section, offsetToIndex 0
    std::optional<size_t> indexEntriesWritten;    // fewer entries than records: short section
    std::map<uint32_t, uint32_t> indexOverrides;  // record number (1-based) -> stored offset

    Bytes trailer;                     // appended after everything else
    std::optional<size_t> truncateAt;  // cut the file to this many bytes

    // The whole file; layout (optional) receives the positions of its parts.
    Bytes build(CaptureFileLayout* layout = nullptr) const;
    // Builds and writes to path; returns the layout.
    CaptureFileLayout writeTo(const std::string& path) const;

    // A B4 file of version 01.00 with record type 4 and flags 1, as the B4 writer makes.
    static CaptureFileBuilder b4();

    // Raw record encoders. A B3 record of version 1.0 has no layer-2 byte (pass nullopt).
    static Bytes b3Record(uint32_t seconds, uint32_t nanoseconds, std::optional<uint8_t> layer2,
                          const Bytes& extension, const Bytes& frame);
    static Bytes b4Record(uint32_t seconds, uint32_t nanoseconds, uint8_t portByte,
                          uint8_t statusByte, uint8_t layer2, const Bytes& extension,
                          const Bytes& frame);
    // count bytes counting up from first (wrapping at 256), to make frames recognisable.
    static Bytes pattern(size_t count, uint8_t first = 0);
};

}  // namespace testsupport
