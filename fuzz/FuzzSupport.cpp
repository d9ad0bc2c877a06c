#include "fuzz/FuzzSupport.h"

#include <cstdio>

#include "trc2pcap/ExportRun.h"

namespace fuzzsupport {

void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n", file, line, condition);
    std::fflush(stderr);
    __builtin_trap();
}

Bytes fileBytesFrom(const uint8_t* data, size_t size) {
    if (size == 0 || data[0] != kPackedMarker) {
        return Bytes(data, data + size);
    }
    const uint8_t* body = data + 1;
    const size_t bodySize = size - 1;
    if (bodySize <= kPackedTableStart) {
        return Bytes(body, body + bodySize);
    }
    Bytes file;
    file.reserve(bodySize + kPackedTableGap);
    file.insert(file.end(), body, body + kPackedTableStart);
    file.insert(file.end(), kPackedTableGap, 0);
    file.insert(file.end(), body + kPackedTableStart, body + bodySize);
    return file;
}

RecordCopy checkedCopy(const CXcfCaptureRecord& record) {
    // A length without its bytes would be a record the reader left half filled.
    FUZZ_CHECK(record.getExtensionLength() == 0 || record.getExtension() != nullptr);
    FUZZ_CHECK(record.getFrameStoredLength() == 0 || record.getFrame() != nullptr);
    return testsupport::copyOf(record);
}

std::vector<RecordCopy> readUntilFailure(CXcfCaptureFileParser& parser) {
    std::vector<RecordCopy> records;
    CXcfCaptureRecord record;
    for (uint32_t n = 1; parser.readRecord(n, record); ++n) {
        records.push_back(checkedCopy(record));
    }
    return records;
}

bool exportQuietly(const ExportSettings& settings, uint64_t& count) {
    testsupport::removeFile(settings.outputFileName);
    count = 0;
    testsupport::ConsoleCapture silent;
    ExportRun run(settings);
    FUZZ_CHECK(run.openAllInputs() && run.prepareOutput());
    const bool exported = run.exportRecords(count);
    run.cleanUp();
    return exported;
}

}  // namespace fuzzsupport
