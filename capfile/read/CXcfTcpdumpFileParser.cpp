#include "capfile/read/CXcfTcpdumpFileParser.h"

#include <cstddef>
#include <cstdio>

namespace {

// Fields after the magic number: version major and minor, thiszone, sigfigs, snaplen and
// network.
constexpr size_t kFieldBytes = 20;

// Combines `count` bytes into one value in the byte order the magic number announced.
uint32_t decode(const uint8_t* bytes, size_t count, bool bigEndian) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t index = bigEndian ? i : count - 1 - i;
        value = (value << 8) | bytes[index];
    }
    return value;
}

}  // namespace

CXcfTcpdumpFileParser::CXcfTcpdumpFileParser() {
    formatCode = "X1";
    offsetToData = kGlobalHeaderSize;
}

CXcfTcpdumpFileParser::~CXcfTcpdumpFileParser() = default;

bool CXcfTcpdumpFileParser::readRecord(uint32_t /*recordNumber*/, CXcfCaptureRecord& /*record*/) {
    return false;
}

bool CXcfTcpdumpFileParser::openFile() {
    // A folder or anything else that is not a regular file is refused by the open itself.
    if (!openInputStream()) {
        closeInput();
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    measureFileSize();
    if (!readGlobalHeader()) {
        closeInput();
        return false;
    }
    offsetToData = kGlobalHeaderSize;
    return true;
}

void CXcfTcpdumpFileParser::closeInput() {
    inputStream.close();
}

bool CXcfTcpdumpFileParser::readHeader() {
    return false;
}

bool CXcfTcpdumpFileParser::lookupRecordOffset(uint32_t /*recordNumber*/, uint32_t& /*offset*/) {
    return false;
}

bool CXcfTcpdumpFileParser::readGlobalHeader() {
    if (!checkMagic()) {
        return false;
    }
    uint8_t bytes[kFieldBytes] = {};
    if (!readInput(bytes, sizeof bytes)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    pcapVersionMajor = static_cast<uint16_t>(decode(bytes, 2, swapBytes));
    pcapVersionMinor = static_cast<uint16_t>(decode(bytes + 2, 2, swapBytes));
    thisZone = static_cast<int32_t>(decode(bytes + 4, 4, swapBytes));
    sigFigs = decode(bytes + 8, 4, swapBytes);
    snapLength = decode(bytes + 12, 4, swapBytes);
    network = decode(bytes + 16, 4, swapBytes);
    versionMajor = pcapVersionMajor;
    versionMinor = pcapVersionMinor;
    return true;
}

bool CXcfTcpdumpFileParser::checkMagic() {
    inputStream.clear();
    uint8_t bytes[4] = {};
    if (!seekInput(0) || !readInput(bytes, sizeof bytes)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t magic = decode(bytes, sizeof bytes, true);
    if (magic == kMagicBigEndian) {
        swapBytes = true;
    } else if (magic == kMagicLittleEndian) {
        swapBytes = false;
    } else {
        lastErrorCode = kErrorFormatNotRecognised;
        return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(magic));
    signature = text;
    return true;
}
