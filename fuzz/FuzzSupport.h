// What only the fuzz targets need: turning fuzz data into capture files, copying records out
// of the reused record objects with the readers' promises checked, and stopping hard when an
// invariant breaks. Files, folders and expected records come from tests/support.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "support/CaptureFileBuilder.h"
#include "support/RecordCopy.h"
#include "support/TestSupport.h"
#include "trc2pcap/ExportSettings.h"

namespace fuzzsupport {

using testsupport::Bytes;
using testsupport::RecordCopy;

// Reports the broken invariant on standard error and traps, so that libFuzzer keeps the input.
[[noreturn]] void fail(const char* condition, const char* file, int line);

#define FUZZ_CHECK(condition)                                    \
    do {                                                         \
        if (!(condition)) {                                      \
            ::fuzzsupport::fail(#condition, __FILE__, __LINE__); \
        }                                                        \
    } while (false)

// Fuzz data is a capture file as it stands, except when it starts with kPackedMarker: then the
// rest is a file whose source name table was cut down to its first slot, and the other 255
// slots are put back as zero bytes. Every header offset keeps its meaning, but the 32 KB of
// mostly empty table no longer soaks up the fuzzer's mutations.
constexpr uint8_t kPackedMarker = 'P';
// The end of source name slot 0.
constexpr size_t kPackedTableStart = testsupport::CaptureFileLayout::kSourceNameTable + 128;
constexpr size_t kPackedTableGap = 255 * 128;  // slots 1 to 255
Bytes fileBytesFrom(const uint8_t* data, size_t size);

// testsupport::copyOf, after checking that the record holds the bytes its lengths claim.
RecordCopy checkedCopy(const CXcfCaptureRecord& record);

// Records 1, 2, ... up to the first read that fails, as the append driver takes an input.
std::vector<RecordCopy> readUntilFailure(CXcfCaptureFileParser& parser);

// Runs trc2pcap's export of settings with the console silenced, from a fresh output name; its
// inputs must open. Whether it succeeded, and how many records it wrote.
bool exportQuietly(const ExportSettings& settings, uint64_t& count);

}  // namespace fuzzsupport
