// What the fuzz targets share: turning fuzz data into capture files on disk, copying records
// out of the reused record objects, and stopping hard when an invariant breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "tests/support/RecordCopy.h"

namespace fuzzsupport {

using Bytes = std::vector<uint8_t>;

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
constexpr size_t kPackedTableStart = 543 + 128;  // end of slot 0
constexpr size_t kPackedTableGap = 255 * 128;    // slots 1 to 255
Bytes fileBytesFrom(const uint8_t* data, size_t size);
// The packed form of a capture file whose slots 1 to 255 are zero (the inverse of the above).
Bytes packed(const Bytes& file);

// A folder of this process's own under the temporary folder, removed at exit, with the path of
// a file in it.
std::string scratchFile(const std::string& name);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
bool fileExists(const std::string& path);
void removeFile(const std::string& path);

using testsupport::RecordCopy;

RecordCopy copyOf(const CXcfCaptureRecord& record);

// Records 1, 2, ... up to the first read that fails, as the append driver takes an input.
std::vector<RecordCopy> readUntilFailure(CXcfCaptureFileParser& parser);

// What an input record becomes in an output of the given format ("B3" or "B4"), coming from an
// input of the given format: the extension is carried as two 32-bit words, and a B3 record in
// a B4 output has port and status byte 0.
RecordCopy asOutputRecord(const RecordCopy& input, const std::string& inputFormat,
                          const std::string& outputFormat);

}  // namespace fuzzsupport
