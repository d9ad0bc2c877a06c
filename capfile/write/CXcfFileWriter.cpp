#include "capfile/write/CXcfFileWriter.h"

#include <cstdio>

CXcfFileWriter::CXcfFileWriter() = default;

CXcfFileWriter::~CXcfFileWriter() = default;

bool CXcfFileWriter::createOutput(bool truncate) {
    const bool exclusive = createExclusively && !truncate;
    outputMade =
        outputStream.create(fileName, exclusive ? xcf::OutputFile::Creation::kNewOnly
                                                : xcf::OutputFile::Creation::kNewOrTruncate);
    if (!outputMade) {
        lastSystemError = outputStream.systemError();
    }
    return outputMade;
}

bool CXcfFileWriter::adoptOutput(int descriptor) {
    outputMade = false;
    if (!outputStream.adopt(descriptor, fileName)) {
        lastSystemError = outputStream.systemError();
        return false;
    }
    return true;
}

void CXcfFileWriter::failureSource(std::string& name, int32_t& error) const {
    name = fileName;
    error = outputStream.systemError();
}

void CXcfFileWriter::markFailed(const std::string& detailText) {
    std::string name;
    int32_t error = 0;
    failureSource(name, error);
    if (lastSystemError == 0) {
        lastSystemError = error;
    }
    if (failed) {
        // The first failure is the one to explain; what follows it is its consequence.
        lastErrorCode = kErrorWriteFailure;
        return;
    }
    failed = true;
    if (!detailText.empty()) {
        setError(kErrorWriteFailure, detailText);
    } else {
        setError(kErrorWriteFailure, "writing '" + name + "' failed" +
                                         (error != 0 ? ": " + xcf::systemErrorText(error) : ""));
    }
}

void CXcfFileWriter::clearFailure() {
    failed = false;
    lastErrorCode = kErrorNone;
    lastSystemError = 0;
}

void CXcfFileWriter::discardOutput() {
    outputStream.discard();
    if (outputMade && !fileName.empty()) {
        std::remove(fileName.c_str());
    }
    outputMade = false;
}
