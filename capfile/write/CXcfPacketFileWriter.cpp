#include "capfile/write/CXcfPacketFileWriter.h"

#include <cstdio>

CXcfPacketFileWriter::CXcfPacketFileWriter() = default;

CXcfPacketFileWriter::~CXcfPacketFileWriter() = default;

bool CXcfPacketFileWriter::open(const std::string& name) {
    discard();
    fileName = name;
    failed = false;
    lastErrorCode = kErrorNone;
    lastSystemError = 0;
    cut = 0;
    made = outputStream.create(name, createExclusively ? xcf::OutputFile::Creation::kNewOnly
                                                       : xcf::OutputFile::Creation::kNewOrTruncate);
    if (!made) {
        lastSystemError = outputStream.systemError();
        return false;
    }
    writeFileHeader();
    if (failed) {
        const int32_t cause = lastSystemError;
        discard();
        lastSystemError = cause;
        lastErrorCode = kErrorWriteFailure;
        return false;
    }
    return true;
}

bool CXcfPacketFileWriter::close() {
    if (!outputStream.isOpen()) {
        return !failed;
    }
    if (!failed) {
        finishFile();
    }
    if (!outputStream.close()) {
        checkFailure();
    }
    return !failed;
}

void CXcfPacketFileWriter::discard() {
    outputStream.discard();
    if (made && !fileName.empty()) {
        std::remove(fileName.c_str());
    }
    made = false;
}

void CXcfPacketFileWriter::checkFailure() {
    if (outputStream.failed() && !failed) {
        failed = true;
        lastErrorCode = kErrorWriteFailure;
        lastSystemError = outputStream.systemError();
    }
}

void CXcfPacketFileWriter::put(const void* bytes, size_t count) {
    if (!failed) {
        outputStream.put(bytes, count);
        checkFailure();
    }
}

void CXcfPacketFileWriter::patch(uint64_t position, const void* bytes, size_t count) {
    if (failed) {
        return;
    }
    const uint64_t end = outputStream.end();
    outputStream.seek(position);
    outputStream.put(bytes, count);
    outputStream.seek(end);
    checkFailure();
}
