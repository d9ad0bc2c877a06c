#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

Bytes packed(const Bytes& file) {
    Bytes out{kPackedMarker};
    if (file.size() <= kPackedTableStart + kPackedTableGap) {
        out.insert(out.end(), file.begin(), file.end());
        return out;
    }
    out.insert(out.end(), file.begin(), file.begin() + kPackedTableStart);
    out.insert(out.end(), file.begin() + kPackedTableStart + kPackedTableGap, file.end());
    return out;
}

namespace {

// Created on first use; one folder per process, so that parallel fuzzing jobs never share files.
class ScratchDir {
  public:
    ScratchDir() {
        std::error_code ignored;
        std::string pattern =
            (std::filesystem::temp_directory_path(ignored) / "splicetrc-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

std::string scratchFile(const std::string& name) {
    static ScratchDir dir;
    return dir.path + "/" + name;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    // A new file rather than a truncated one: ext4 flushes a file that was truncated and
    // rewritten when it is closed, which would slow every run down to the disk's pace.
    removeFile(path);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), out);
    if (std::fclose(out) != 0 || written != bytes.size()) {
        std::perror(path.c_str());
        std::abort();
    }
}

Bytes readFile(const std::string& path) {
    Bytes bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return bytes;
    }
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(in);
    return bytes;
}

bool fileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void removeFile(const std::string& path) {
    std::remove(path.c_str());
}

RecordCopy copyOf(const CXcfCaptureRecord& record) {
    // A length without its bytes would be a record the reader left half filled.
    FUZZ_CHECK(record.getExtensionLength() == 0 || record.getExtension() != nullptr);
    FUZZ_CHECK(record.getFrameStoredLength() == 0 || record.getFrame() != nullptr);
    return testsupport::copyOf(record);
}

std::vector<RecordCopy> readUntilFailure(CXcfCaptureFileParser& parser) {
    std::vector<RecordCopy> records;
    CXcfCaptureRecord record;
    for (uint32_t n = 1; parser.readRecord(n, record); ++n) {
        records.push_back(copyOf(record));
    }
    return records;
}

namespace {

void appendWord(Bytes& to, const Bytes& from, size_t at) {
    for (size_t i = 0; i < 4; ++i) {
        to.push_back(from.size() >= at + 4 ? from[at + i] : 0);
    }
}

}  // namespace

RecordCopy asOutputRecord(const RecordCopy& input, const std::string& inputFormat,
                          const std::string& outputFormat) {
    RecordCopy out = input;
    // Both writers store the extension as two words; an extension too short for a word
    // gives 0 for that word.
    out.extension.clear();
    appendWord(out.extension, input.extension, 0);
    appendWord(out.extension, input.extension, 4);
    if (outputFormat == "B3" || inputFormat != "B4") {
        out.frameGood = true;
        out.portByte = 0;
        out.statusByte = 0;
    }
    return out;
}

}  // namespace fuzzsupport
