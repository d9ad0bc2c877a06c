#include "capfile/write/CXcfCaptureFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "record/CXcfCaptureRecord.h"

CXcfCaptureFileWriter::CXcfCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                                             int32_t versionMinorNumber, uint16_t formatFlags) {
    masterFormatFlags = formatFlags;
    std::memset(formatCodeChars, 0, sizeof formatCodeChars);
    std::memset(versionChars, 0, sizeof versionChars);
    std::snprintf(formatCodeChars, sizeof formatCodeChars, "%2s", formatName.c_str());
    std::snprintf(versionChars, sizeof versionChars, "%02d.%02d",
                  static_cast<int>(versionMajorNumber), static_cast<int>(versionMinorNumber));
}

// Destruction finishes nothing: only close completes a file. What was written reaches the
// files as the file objects close themselves.
CXcfCaptureFileWriter::~CXcfCaptureFileWriter() = default;

void CXcfCaptureFileWriter::close() {
    if (!outputStream.isOpen()) {
        // Already closed (or never opened): nothing to complete. A half-open state from a
        // failed open may still hold the side index file.
        indexStream.close();
        return;
    }
    if (canPatch()) {
        patchNumberOfRecords();
    }
    if (hasIndexFlag()) {
        if (canPatch()) {
            appendIndex();
        }
        indexStream.close();
        if (!indexFileName.empty() && indexStream.isNew()) {
            std::remove(indexFileName.c_str());
        }
    }
    flushStream(outputStream);
    if (!outputStream.close()) {
        markFailed();
    }
    headerLaidOut = false;
}

void CXcfCaptureFileWriter::discard() {
    headerLaidOut = false;
    // The side index file is removed by close, so it is still there only while open.
    const bool hadIndex = indexStream.isOpen();
    indexStream.discard();
    discardOutput();
    if (hadIndex && !indexFileName.empty()) {
        std::remove(indexFileName.c_str());
    }
}

bool CXcfCaptureFileWriter::writeRecord(const CXcfCaptureRecord& record) {
    return writeRecordFields(
        record.isFrameGood(), record.getPortByte(), record.getTimestampSeconds(),
        record.getTimestampNanoseconds(), record.getExtensionLength(), record.getExtension(),
        record.getFrameStoredLength(), record.getFrameLength(), record.getFrame());
}

void CXcfCaptureFileWriter::emitToOtherStream(std::ostream& stream, const void* bytes,
                                              size_t count) {
    if (count == 0) {
        return;
    }
    stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (!stream) {
        markFailed();
    }
}

uint8_t* CXcfCaptureFileWriter::reserveOutput(size_t count) {
    uint8_t* at = outputStream.reserve(count);
    if (at == nullptr) {
        markFailed();
    }
    return at;
}

bool CXcfCaptureFileWriter::flushStream(xcf::OutputFile& stream) {
    if (!stream.isOpen() || !stream.flushBlock()) {
        markFailed();
        return false;
    }
    return true;
}

void CXcfCaptureFileWriter::seekOutput(uint64_t position) {
    outputStream.seek(position);
    if (outputStream.failed()) {
        markFailed();
    }
}

bool CXcfCaptureFileWriter::createOutputStream(bool truncate) {
    headerLaidOut = false;
    return createOutput(truncate);
}

bool CXcfCaptureFileWriter::createIndexStream() {
    // A file already there under the side index file's name is never the writer's: it is
    // neither followed (it may be a link) nor truncated.
    return indexStream.create(indexFileName, xcf::OutputFile::Creation::kNewOnly);
}

void CXcfCaptureFileWriter::failureSource(std::string& name, int32_t& error) const {
    CXcfFileWriter::failureSource(name, error);
    if (error == 0 && indexStream.systemError() != 0) {
        name = indexFileName;
        error = indexStream.systemError();
    }
}

void CXcfCaptureFileWriter::clearWriteState() {
    clearFailure();
    sizeLimitReached = false;
}

bool CXcfCaptureFileWriter::recordFits(uint64_t recordBytes, uint64_t pendingBytes,
                                       uint32_t pendingRecords) {
    // Once a record was refused, later ones are refused too, so that the file never skips a
    // record in the middle of the sequence.
    if (sizeLimitReached) {
        return false;
    }
    if (!wouldFit(recordBytes, pendingBytes, pendingRecords)) {
        sizeLimitReached = true;
        return false;
    }
    return true;
}

bool CXcfCaptureFileWriter::wouldFit(uint64_t recordBytes, uint64_t pendingBytes,
                                     uint32_t pendingRecords) const {
    const uint64_t records = uint64_t{numberOfRecords} + pendingRecords;
    const uint64_t indexBytes = (records + 1) * kIndexEntrySize;
    const uint64_t finishedSize = outputEnd() + pendingBytes + recordBytes + indexBytes;
    // The record count is a 32-bit field as well.
    return !sizeLimitReached && finishedSize <= sizeLimit && records < UINT32_MAX;
}

void CXcfCaptureFileWriter::copyIndexFileToOutput(uint64_t byteCount) {
    xcf::InputFile index;
    if (!index.open(indexFileName)) {
        markFailed("the side index file '" + indexFileName +
                   "' cannot be read back: " + xcf::systemErrorText(index.systemError()));
        return;
    }
    // From file to file, as the records themselves may have come.
    uint64_t copied = 0;
    if (!outputStream.copyFrom(index, 0, byteCount, copied)) {
        // Either the output failed, or the side index file is shorter than the records
        // written: the index would be incomplete, so the file cannot be trusted.
        if (outputStream.failed()) {
            markFailed();
        } else {
            markFailed("the side index file '" + indexFileName + "' holds " +
                       std::to_string(copied / kIndexEntrySize) + " entries of the " +
                       std::to_string(byteCount / kIndexEntrySize) + " records written");
        }
    }
}
