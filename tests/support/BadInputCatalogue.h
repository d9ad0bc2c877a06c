// A catalogue of damaged inputs: a small valid B3 file and a small valid B4 file, cut short at
// every interesting length and with each header field, table entry, index entry and counted
// length replaced by values that lie, each with what the file's own reader must make of it.
// The catalogue test checks the programs against it; other tests write the cases to disk for
// readers that live outside this library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/Formats.h"
#include "support/RecordCopy.h"
#include "support/TestSupport.h"

namespace testsupport {

// What a damaged file must give: refused by its reader with a code, or opened with some of
// its records delivered.
struct Expected {
    int32_t refusedWith = 0;  // 0: the file opens
    size_t minRecords = 0;
    size_t maxRecords = 0;
    bool intact = true;  // the records delivered are the original's first ones, unchanged

    static Expected refused(int32_t code) { return {code, 0, 0, true}; }
    static Expected opens(size_t records) { return {0, records, records, true}; }
    static Expected upTo(size_t records) { return {0, 0, records, true}; }
    // Opens and delivers records whose contents follow from the damaged values, not the
    // original's.
    static Expected reshaped(size_t records) { return {0, records, records, false}; }
};

struct CatalogueSample {
    Format format = Format::B3;
    Bytes bytes;
    CaptureFileLayout layout;
    std::vector<RecordCopy> records;  // as the reader must deliver them
};

// Three records, out of time order, the B4 one with a damaged frame.
CatalogueSample makeCatalogueSample(Format format);

struct DamagedCase {
    std::string name;  // what was damaged, e.g. "cut to 40 bytes"
    Bytes bytes;
    Expected expected;
};

// The kinds of damage, each a list of cases built from the sample.
enum class DamageKind {
    kTruncated,
    kFixedHeaderFields,
    kRecordTypes,
    kCountedLengths,
    kCaptureTimes,
    kIndexEntries,
};
constexpr DamageKind kDamageKinds[] = {
    DamageKind::kTruncated,      DamageKind::kFixedHeaderFields, DamageKind::kRecordTypes,
    DamageKind::kCountedLengths, DamageKind::kCaptureTimes,      DamageKind::kIndexEntries,
};
const char* damageKindName(DamageKind kind);

std::vector<DamagedCase> damagedCases(const CatalogueSample& sample, DamageKind kind);

}  // namespace testsupport
