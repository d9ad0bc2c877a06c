#include "capfile/write/CXcfCaptureFileWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "record/CXcfCaptureRecord.h"

namespace {
// Block size for copying the side index file into the output at close.
constexpr size_t kIndexCopyBlock = 64 * 1024;
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

// Destruction finishes nothing: only close completes a file. What was written reaches the
// files, as the streams' own buffers would on destruction; then the streams close themselves.
CXcfCaptureFileWriter::~CXcfCaptureFileWriter() {
    flushPending(outputStream);
    flushPending(indexStream);
}

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
    flushStream(outputStream);
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

CXcfCaptureFileWriter::PendingBytes* CXcfCaptureFileWriter::pendingFor(const std::ostream& stream) {
    if (&stream == &outputStream) {
        return &outputPending;
    }
    if (&stream == &indexStream) {
        return &indexPending;
    }
    return nullptr;
}

bool CXcfCaptureFileWriter::isOpen(const std::ostream& stream) const {
    return &stream == &outputStream ? outputStream.is_open() : indexStream.is_open();
}

void CXcfCaptureFileWriter::emitSlowly(std::ostream& stream, const void* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    const char* from = static_cast<const char*>(bytes);
    PendingBytes* pending = pendingFor(stream);
    if (pending == nullptr) {
        stream.write(from, static_cast<std::streamsize>(count));
        if (!stream) {
            markFailed();
        }
        return;
    }
    if (!stream.good() || !isOpen(stream)) {
        markFailed();
        return;
    }
    if (count > kPendingSize - pending->used) {
        if (!flushPending(stream)) {
            return;
        }
        if (count >= kPendingSize) {
            // A block as large as the collection block goes to the file as it is.
            const std::streamsize put =
                stream.rdbuf()->sputn(from, static_cast<std::streamsize>(count));
            if (put < 0 || static_cast<size_t>(put) != count) {
                stream.setstate(std::ios::badbit);
                markFailed();
                return;
            }
            pending = nullptr;
        }
    }
    if (pending != nullptr) {
        if (!pending->data) {
            pending->data = std::make_unique<char[]>(kPendingSize);
        }
        std::memcpy(pending->data.get() + pending->used, from, count);
        pending->used += count;
    }
    if (&stream == &outputStream) {
        advanceOutput(count);
    }
}

uint8_t* CXcfCaptureFileWriter::reserveOutput(size_t count) {
    if (count > kPendingSize - outputPending.used && !flushPending(outputStream)) {
        return nullptr;
    }
    if (!outputStream.good()) {
        markFailed();
        return nullptr;
    }
    if (!outputPending.data) {
        outputPending.data = std::make_unique<char[]>(kPendingSize);
    }
    uint8_t* at = reinterpret_cast<uint8_t*>(outputPending.data.get() + outputPending.used);
    outputPending.used += count;
    advanceOutput(count);
    return at;
}

bool CXcfCaptureFileWriter::flushPending(std::ostream& stream) {
    PendingBytes* pending = pendingFor(stream);
    if (pending == nullptr || pending->used == 0) {
        return true;
    }
    const size_t count = pending->used;
    pending->used = 0;
    const std::streamsize put =
        stream.rdbuf()->sputn(pending->data.get(), static_cast<std::streamsize>(count));
    if (put < 0 || static_cast<size_t>(put) != count) {
        stream.setstate(std::ios::badbit);
        markFailed();
        return false;
    }
    return true;
}

bool CXcfCaptureFileWriter::flushStream(std::ostream& stream) {
    const bool handedOver = flushPending(stream);
    stream.flush();
    if (!handedOver || !stream) {
        markFailed();
        return false;
    }
    return true;
}

void CXcfCaptureFileWriter::discardPendingBytes() {
    outputPending.used = 0;
    indexPending.used = 0;
}

void CXcfCaptureFileWriter::seekOutput(uint64_t position) {
    if (position == outputPos) {
        return;
    }
    if (!flushPending(outputStream)) {
        return;
    }
    outputStream.seekp(static_cast<std::streamoff>(position));
    if (!outputStream) {
        markFailed();
        return;
    }
    outputPos = position;
}

bool CXcfCaptureFileWriter::openUnbuffered(std::ofstream& stream, const std::string& name) {
    if (stream.is_open()) {
        flushPending(stream);
        stream.close();
    }
    stream.clear();
    pendingFor(stream)->used = 0;
    // The writer collects bytes in blocks of its own; a file buffer would copy them again.
    stream.rdbuf()->pubsetbuf(nullptr, 0);
    stream.open(name, std::ios::out | std::ios::binary | std::ios::trunc);
    return stream.is_open() && stream.good();
}

bool CXcfCaptureFileWriter::createOutputStream() {
    const bool created = openUnbuffered(outputStream, fileName);
    outputPos = 0;
    outputEndPos = 0;
    headerLaidOut = false;
    return created;
}

bool CXcfCaptureFileWriter::createIndexStream() {
    return openUnbuffered(indexStream, indexFileName);
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
