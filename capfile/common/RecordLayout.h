// Where the bytes of one record lie in the tester family's files, in one place for the
// readers, the writers and everything that lays out or checks records byte by byte.
//
// B3: timestamp (seconds, nanoseconds), from version 1.1 on a layer-2 type byte, the
// extension of the file's record type, the frame.
// B4: timestamp, port byte (bit 7: damaged frame), status byte, layer-2 type byte, the
// extension of the record type, the frame.
// A record's length is not stored: it runs to the next record's offset in the index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace xcf::layout {

constexpr size_t kTimestampSize = 8;   // seconds, then nanoseconds, 32 bits each
constexpr size_t kIndexEntrySize = 4;  // a record's offset in the index section

// B3: extension bytes per record type; types beyond the table have no record layout.
constexpr std::array<uint32_t, 4> kB3ExtensionSize = {0, 0, 5, 8};
constexpr size_t kB3Layer2Offset = kTimestampSize;  // absent in version 1.0 files

// B4: per record type, the extension bytes and how many of the three single-byte fields the
// type has. Only a type with all three fits the layout above.
struct B4RecordType {
    uint32_t extensionSize;
    uint32_t singleByteFields;
};
constexpr std::array<B4RecordType, 5> kB4RecordTypes = {{{0, 0}, {0, 0}, {5, 0}, {8, 1}, {8, 3}}};
constexpr size_t kB4SingleByteFields = 3;
constexpr size_t kB4PortOffset = kTimestampSize;
constexpr size_t kB4StatusOffset = kTimestampSize + 1;
constexpr size_t kB4Layer2Offset = kTimestampSize + 2;
constexpr size_t kB4ExtensionOffset = kTimestampSize + kB4SingleByteFields;
constexpr uint8_t kDamagedFrameBit = 0x80;

// What the writers write: B3 version 1.1 records of type 3 and B4 records of type 4, both
// with an 8-byte extension (two 32-bit words).
constexpr uint32_t kB3WrittenRecordType = 3;
constexpr uint32_t kB4WrittenRecordType = 4;
constexpr size_t kExtensionWordsSize = 8;
constexpr size_t kB3ExtensionOffset = kB3Layer2Offset + 1;
constexpr size_t kB3WrittenFieldsSize = kB3ExtensionOffset + kExtensionWordsSize;  // 17
constexpr size_t kB4WrittenFieldsSize = kB4ExtensionOffset + kExtensionWordsSize;  // 19

static_assert(kB3ExtensionSize[kB3WrittenRecordType] == kExtensionWordsSize);
static_assert(kB4RecordTypes[kB4WrittenRecordType].extensionSize == kExtensionWordsSize);
static_assert(kB3WrittenFieldsSize == 17 && kB4WrittenFieldsSize == 19);

}  // namespace xcf::layout
