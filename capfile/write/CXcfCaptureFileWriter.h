// Format-neutral output writer: the side index file, the format code and version texts that
// follow the signature, the positions of the header fields that are rewritten later, the close
// sequence, and the generic entry that writes one record from a record object.
//
// Write failures are not lost: any write, seek or flush that fails on the output or on the side
// index file marks the writer failed (hasFailed) and leaves kErrorWriteFailure in lastErrorCode.
// Offsets in the file are 32 bits wide, so the writer refuses records that would make the
// finished file (records plus index) larger than fileSizeLimit().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "capfile/common/CXcfCaptureFileCommon.h"

class CXcfCaptureRecord;

class CXcfCaptureFileWriter : public CXcfCaptureFileCommon {
    // Bytes on their way to the output or the side index file.
    struct PendingBytes {
        std::unique_ptr<char[]> data;
        size_t used = 0;
    };
    static constexpr size_t kPendingSize = 256 * 1024;

  public:
    // Bytes per entry of the index section and of the side index file.
    static constexpr uint32_t kIndexEntrySize = 4;
    // Offsets in the header and the index are 32 bits: the finished file stays below 4 GiB.
    static constexpr uint64_t kDefaultFileSizeLimit = 0xFFFFFFFFull;

    CXcfCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                          int32_t versionMinorNumber, uint16_t formatFlags);
    ~CXcfCaptureFileWriter() override;

    // Completes the file: final record count, index section, side index file removed.
    // A second call finds the output closed and changes nothing.
    virtual void close();
    virtual bool open(std::string name, std::string descriptionText) = 0;
    // The nine values a record object carries; formats pick what their layout needs.
    virtual bool writeRecordFields(bool frameGood, uint8_t portByte, uint32_t seconds,
                                   uint32_t nanoseconds, uint32_t extensionLength,
                                   const uint8_t* extension, uint32_t frameStoredLength,
                                   uint32_t frameLength, const uint8_t* frame) = 0;
    virtual bool writeRecord(const CXcfCaptureRecord& record);
    virtual void appendIndex() = 0;
    virtual void setDescription(std::string text) = 0;
    virtual void writeHeader() = 0;
    virtual void putByte(std::ostream& stream, uint32_t value) = 0;
    virtual void putUint16(std::ostream& stream, uint32_t value) = 0;
    virtual void putUint32(std::ostream& stream, uint32_t value) = 0;
    // Each patch operation writes its field's current value at the field's recorded position
    // and returns the position the output stood at before, so that the caller can move back.
    virtual uint64_t patchOffsetToData() = 0;
    virtual uint64_t patchOffsetToIndex() = 0;
    virtual uint64_t patchNumberOfRecords() = 0;

    bool hasFailed() const { return failed; }
    bool isSizeLimitReached() const { return sizeLimitReached; }
    void setFileSizeLimit(uint64_t maxFileSize) { sizeLimit = maxFileSize; }
    uint64_t fileSizeLimit() const { return sizeLimit; }

    // Written after the signature: "%2s" of the format name, zero-filled.
    char formatCodeChars[8];
    // Written after the format code: "%02d.%02d" of the version, zero-filled.
    char versionChars[32];
    std::string indexFileName;

  protected:
    // Every byte for the output or the side index file goes through here, so that failures are
    // caught in one place and the output position is known without asking the stream. Bytes
    // collect in a block of the writer's own and reach the (unbuffered) stream in large
    // writes: one copy per byte and no stream call per record.
    void emit(std::ostream& stream, const void* bytes, size_t count) {
        PendingBytes* pending = &stream == &outputStream  ? &outputPending
                                : &stream == &indexStream ? &indexPending
                                                          : nullptr;
        // The common case, a record's few pieces, is a copy into the collection block.
        if (count == 0) {
            return;
        }
        if (pending != nullptr && pending->data && count <= kPendingSize - pending->used) {
            std::memcpy(pending->data.get() + pending->used, bytes, count);
            pending->used += count;
            if (pending == &outputPending) {
                advanceOutput(count);
            }
            return;
        }
        emitSlowly(stream, bytes, count);
    }
    // Room for count bytes (at most a few hundred) at the output's current position, inside
    // the collection block, counted as written; the caller fills them at once. nullptr when
    // the writer failed.
    uint8_t* reserveOutput(size_t count);
    // Hands the collected bytes of both streams to them, then flushes the stream given;
    // false (and the writer failed) when any of it did not reach the file.
    bool flushStream(std::ostream& stream);
    // Forgets the collected bytes: their file is being removed.
    void discardPendingBytes();
    // Moves the output to an absolute position; a failed seek marks the writer failed.
    void seekOutput(uint64_t position);
    uint64_t outputPosition() const { return outputPos; }
    // One past the last byte written to the output so far.
    uint64_t outputEnd() const { return outputEndPos; }
    // (Re)creates the output file, truncating it, behind a large buffer.
    bool createOutputStream();
    bool createIndexStream();
    // Patching is possible only once the header is laid out and while the output is open.
    // Every path that closes the output also clears headerLaidOut, so the flag stands for an
    // open output as well (asking the stream costs a library call per record).
    bool canPatch() const { return headerLaidOut && !failed; }
    void markFailed();
    // Clears the failure and size-limit state for a new file.
    void clearWriteState();
    // True when a record of recordBytes more bytes, with its index entry and those of the
    // records before it, keeps the finished file within the size limit. Sets the size-limit
    // state when it does not.
    bool recordFits(uint64_t recordBytes);
    // Copies the first byteCount bytes of the side index file to the output.
    void copyIndexFileToOutput(uint64_t byteCount);

    uint64_t numberOfRecordsPos = 0;
    uint64_t offsetToDataPos = 0;
    uint64_t offsetToIndexPos = 0;
    bool headerLaidOut = false;

    std::ofstream indexStream;

  private:
    void emitSlowly(std::ostream& stream, const void* bytes, size_t count);
    // Counts bytes written at the output's position.
    void advanceOutput(size_t count) {
        outputPos += count;
        outputEndPos = outputPos > outputEndPos ? outputPos : outputEndPos;
    }

    PendingBytes* pendingFor(const std::ostream& stream);
    bool isOpen(const std::ostream& stream) const;
    bool flushPending(std::ostream& stream);
    bool openUnbuffered(std::ofstream& stream, const std::string& name);

    PendingBytes outputPending;
    PendingBytes indexPending;
    uint64_t outputPos = 0;
    uint64_t outputEndPos = 0;
    uint64_t sizeLimit = kDefaultFileSizeLimit;
    bool failed = false;
    bool sizeLimitReached = false;
};
