#include "capfile/read/CXcfPmCaptureFileParser.h"

#include <cstdio>
#include <cstring>

CXcfPmCaptureFileParser::CXcfPmCaptureFileParser() {
    signature = kFamilySignature;
}

CXcfPmCaptureFileParser::~CXcfPmCaptureFileParser() = default;

void CXcfPmCaptureFileParser::reset() {
    CXcfCaptureFileCommon::reset();
    CXcfPmCaptureFileCommon::reset();
    clearIndexCache();
}

bool CXcfPmCaptureFileParser::open(std::string name) {
    return CXcfCaptureFileParser::open(std::move(name));
}

bool CXcfPmCaptureFileParser::lookupRecordOffset(uint32_t recordNumber, uint32_t& offset) {
    offset = 0;
    auto inWindow = [this](uint32_t n) {
        return indexWindowFirst != 0 && n >= indexWindowFirst && n <= indexWindowLast;
    };
    if (!inWindow(recordNumber)) {
        if (!loadIndexCache(recordNumber) || !inWindow(recordNumber)) {
            return false;
        }
    }
    offset = indexWindow[recordNumber - indexWindowFirst];
    return true;
}

bool CXcfPmCaptureFileParser::getRecordSourceName(uint32_t recordNumber, std::string& name) {
    CXcfCaptureRecord record;
    if (!readRecord(recordNumber, record)) {
        return false;
    }
    name = sourceNameEntry(record.getPortByte());
    return true;
}

bool CXcfPmCaptureFileParser::sourceNameOfRecord(const CXcfCaptureRecord& record,
                                                 std::string& name) {
    name = sourceNameEntry(record.getPortByte());
    return true;
}

bool CXcfPmCaptureFileParser::readRecordTime(uint32_t recordNumber, uint32_t& seconds,
                                             uint32_t& nanoseconds) {
    CXcfCaptureRecord record;
    if (!readRecord(recordNumber, record)) {
        return false;
    }
    seconds = record.getTimestampSeconds();
    nanoseconds = record.getTimestampNanoseconds();
    return true;
}

void CXcfPmCaptureFileParser::releaseBuffers() {
    inputStream.releaseBlock();
    indexWindow.reset();
    indexWindowFirst = 0;
    indexWindowLast = 0;
}

void CXcfPmCaptureFileParser::clearIndexCache() {
    if (indexWindow) {
        std::memset(indexWindow.get(), 0, kIndexWindowSize * sizeof(uint32_t));
    }
    indexWindowFirst = 0;
    indexWindowLast = 0;
}

bool CXcfPmCaptureFileParser::checkPrefix() {
    return checkSignature() && checkFormatCode();
}

bool CXcfPmCaptureFileParser::checkFormatCode() {
    inputStream.clear();
    char code[kFormatCodeLength + 1] = {};
    if (!inputStream.seek(kSignatureLength) || !inputStream.read(code, kFormatCodeLength)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    if (std::string(code, kFormatCodeLength) == formatCode && readVersion()) {
        return true;
    }
    lastErrorCode = kErrorFormatNotRecognised;
    return false;
}

bool CXcfPmCaptureFileParser::readVersion() {
    char text[kVersionTextLength + 1] = {};
    if (!inputStream.read(text, kVersionTextLength)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    int major = 0;
    int minor = 0;
    const int scanned = std::sscanf(text, "%d.%d", &major, &minor);
    if (scanned >= 1) {
        versionMajor = static_cast<uint32_t>(major);
    }
    if (scanned >= 2) {
        versionMinor = static_cast<uint32_t>(minor);
    }
    // The text is signed: "-1.00" is a negative major number, not a huge one.
    if (static_cast<int32_t>(versionMajor) > 0) {
        return true;
    }
    lastErrorCode = kErrorFormatNotRecognised;
    return false;
}

bool CXcfPmCaptureFileParser::checkSignature() {
    char text[kSignatureLength + 1] = {};
    if (!inputStream.seek(0) || !inputStream.read(text, kSignatureLength)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    if (hasSignature(std::string(text))) {
        return true;
    }
    lastErrorCode = kErrorFormatNotRecognised;
    return false;
}
