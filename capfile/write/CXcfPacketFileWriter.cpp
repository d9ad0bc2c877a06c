#include "capfile/write/CXcfPacketFileWriter.h"

CXcfPacketFileWriter::CXcfPacketFileWriter() = default;

CXcfPacketFileWriter::~CXcfPacketFileWriter() = default;

bool CXcfPacketFileWriter::open(const std::string& name) {
    renew(name);
    return createOutput() && start();
}

bool CXcfPacketFileWriter::openDescriptor(int descriptor, const std::string& name) {
    renew(name);
    return adoptOutput(descriptor) && start();
}

void CXcfPacketFileWriter::renew(const std::string& name) {
    discard();
    fileName = name;
    clearFailure();
    cut = 0;
}

bool CXcfPacketFileWriter::start() {
    writeFileHeader();
    if (hasFailed()) {
        discard();
        return false;
    }
    return true;
}

bool CXcfPacketFileWriter::close() {
    if (!outputStream.isOpen()) {
        return !hasFailed();
    }
    if (!hasFailed()) {
        finishFile();
    }
    if (!outputStream.close()) {
        checkFailure();
    }
    return !hasFailed();
}

void CXcfPacketFileWriter::discard() {
    discardOutput();
}

void CXcfPacketFileWriter::checkFailure() {
    if (outputStream.failed() && !hasFailed()) {
        markFailed();
    }
}

void CXcfPacketFileWriter::put(const void* bytes, size_t count) {
    if (!hasFailed()) {
        outputStream.put(bytes, count);
        checkFailure();
    }
}
