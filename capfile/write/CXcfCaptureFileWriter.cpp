#include "capfile/write/CXcfCaptureFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "record/CXcfCaptureRecord.h"

namespace {
// Block size for copying the side index file into the output at close.
constexpr size_t kIndexCopyBlock = 64 * 1024;
// The standard file buffer hands every write of 1 KiB or more straight to the system, one
// call each. Frames are often a little longer than that, so blocks below kDirectWrite go into
// the buffer in pieces under that threshold and reach the disk in large blocks.
constexpr size_t kBufferedPiece = 1000;
constexpr size_t kDirectWrite = 64 * 1024;
}  // namespace

CXcfCaptureFileWriter::CXcfCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                                             int32_t versionMinorNumber, uint16_t formatFlags) {
    masterFormatFlags = formatFlags;
    std::memset(formatCodeChars, 0, sizeof formatCodeChars);
    std::memset(versionChars, 0, sizeof versionChars);
    std::snprintf(formatCodeChars, sizeof formatCodeChars, "%2s", formatName.c_str());
    std::snprintf(versionChars, sizeof versionChars, "%02d.%02d",
                  static_cast<int>(versionMajorNumber), static_cast<int>(versionMinorNumber));
}

// Destruction finishes nothing: only close completes a file. The streams close themselves.
CXcfCaptureFileWriter::~CXcfCaptureFileWriter() = default;

void CXcfCaptureFileWriter::close() {
    if (!outputStream.is_open()) {
        // Already closed (or never opened): nothing to complete. A half-open state from a
        // failed open may still hold the side index stream.
        if (indexStream.is_open()) {
            indexStream.close();
        }
        return;
    }
    if (canPatch()) {
        patchNumberOfRecords();
    }
    if (hasIndexFlag()) {
        if (canPatch()) {
            appendIndex();
        }
        if (indexStream.is_open()) {
            indexStream.close();
        }
        if (!indexFileName.empty()) {
            std::remove(indexFileName.c_str());
        }
    }
    outputStream.flush();
    if (!outputStream) {
        markFailed();
    }
    outputStream.close();
    if (outputStream.fail()) {
        markFailed();
    }
    headerLaidOut = false;
}

bool CXcfCaptureFileWriter::writeRecord(const CXcfCaptureRecord& record) {
    return writeRecordFields(
        record.isFrameGood(), record.getPortByte(), record.getTimestampSeconds(),
        record.getTimestampNanoseconds(), record.getExtensionLength(), record.getExtension(),
        record.getFrameStoredLength(), record.getFrameLength(), record.getFrame());
}

void CXcfCaptureFileWriter::emit(std::ostream& stream, const void* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    const char* from = static_cast<const char*>(bytes);
    if (count >= kDirectWrite) {
        stream.write(from, static_cast<std::streamsize>(count));
    } else {
        for (size_t done = 0; done < count && stream; done += kBufferedPiece) {
            stream.write(from + done,
                         static_cast<std::streamsize>(std::min(kBufferedPiece, count - done)));
        }
    }
    if (!stream) {
        markFailed();
        return;
    }
    if (&stream == &outputStream) {
        outputPos += count;
        outputEndPos = std::max(outputEndPos, outputPos);
    }
}

void CXcfCaptureFileWriter::seekOutput(uint64_t position) {
    if (position == outputPos) {
        return;
    }
    outputStream.seekp(static_cast<std::streamoff>(position));
    if (!outputStream) {
        markFailed();
        return;
    }
    outputPos = position;
}

bool CXcfCaptureFileWriter::createOutputStream() {
    if (outputStream.is_open()) {
        outputStream.close();
    }
    outputStream.clear();
    useLargeBuffer(*outputStream.rdbuf(), outputStreamBuffer);
    outputStream.open(fileName, std::ios::out | std::ios::binary | std::ios::trunc);
    outputPos = 0;
    outputEndPos = 0;
    headerLaidOut = false;
    return outputStream.is_open() && outputStream.good();
}

bool CXcfCaptureFileWriter::createIndexStream() {
    if (indexStream.is_open()) {
        indexStream.close();
    }
    indexStream.clear();
    useLargeBuffer(*indexStream.rdbuf(), indexStreamBuffer);
    indexStream.open(indexFileName, std::ios::out | std::ios::binary | std::ios::trunc);
    return indexStream.is_open() && indexStream.good();
}

void CXcfCaptureFileWriter::markFailed() {
    failed = true;
    lastErrorCode = kErrorWriteFailure;
}

void CXcfCaptureFileWriter::clearWriteState() {
    failed = false;
    sizeLimitReached = false;
    lastErrorCode = kErrorNone;
}

bool CXcfCaptureFileWriter::recordFits(uint64_t recordBytes) {
    // Once a record was refused, later ones are refused too, so that the file never skips a
    // record in the middle of the sequence.
    if (sizeLimitReached) {
        return false;
    }
    const uint64_t indexBytes = (uint64_t{numberOfRecords} + 1) * kIndexEntrySize;
    const uint64_t finishedSize = outputEndPos + recordBytes + indexBytes;
    // The record count is a 32-bit field as well.
    if (finishedSize > sizeLimit || numberOfRecords == UINT32_MAX) {
        sizeLimitReached = true;
        return false;
    }
    return true;
}

void CXcfCaptureFileWriter::copyIndexFileToOutput(uint64_t byteCount) {
    std::ifstream index(indexFileName, std::ios::in | std::ios::binary);
    if (!index.is_open()) {
        markFailed();
        return;
    }
    std::vector<char> block(kIndexCopyBlock);
    uint64_t remaining = byteCount;
    while (remaining > 0 && !failed) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(remaining, block.size()));
        index.read(block.data(), static_cast<std::streamsize>(wanted));
        const size_t got = static_cast<size_t>(index.gcount());
        emit(outputStream, block.data(), got);
        if (got != wanted) {
            // The side index file is shorter than the records written: the index would be
            // incomplete, so the file cannot be trusted.
            markFailed();
            return;
        }
        remaining -= got;
    }
}
