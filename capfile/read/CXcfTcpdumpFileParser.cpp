#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "record/ByteOrder.h"

#include <cstddef>
#include <cstdio>

namespace {

// Fields after the magic number: version major and minor, thiszone, sigfigs, snaplen and
// network.
constexpr size_t kFieldBytes = 20;

// Values in the byte order the magic number announced.
uint16_t decode16(const uint8_t* bytes, bool bigEndian) {
    return bigEndian ? xcf::load16(bytes) : xcf::load16LittleEndian(bytes);
}

uint32_t decode32(const uint8_t* bytes, bool bigEndian) {
    return bigEndian ? xcf::load32(bytes) : xcf::load32LittleEndian(bytes);
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
    dropInput();
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
    if (!inputStream.read(bytes, sizeof bytes)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    pcapVersionMajor = decode16(bytes, swapBytes);
    pcapVersionMinor = decode16(bytes + 2, swapBytes);
    thisZone = static_cast<int32_t>(decode32(bytes + 4, swapBytes));
    sigFigs = decode32(bytes + 8, swapBytes);
    snapLength = decode32(bytes + 12, swapBytes);
    network = decode32(bytes + 16, swapBytes);
    versionMajor = pcapVersionMajor;
    versionMinor = pcapVersionMinor;
    return true;
}

bool CXcfTcpdumpFileParser::checkMagic() {
    inputStream.clear();
    uint8_t bytes[4] = {};
    if (!inputStream.seek(0) || !inputStream.read(bytes, sizeof bytes)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t magic = xcf::load32(bytes);
    switch (magic) {
        case kMagicBigEndian:
        case kMagicNanosecondsBigEndian:
            swapBytes = true;
            break;
        case kMagicLittleEndian:
        case kMagicNanosecondsLittleEndian:
            swapBytes = false;
            break;
        default:
            lastErrorCode = kErrorFormatNotRecognised;
            return false;
    }
    nanoseconds = magic == kMagicNanosecondsBigEndian || magic == kMagicNanosecondsLittleEndian;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(magic));
    signature = text;
    return true;
}
