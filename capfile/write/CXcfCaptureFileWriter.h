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
#include <ostream>
#include <string>

#include "capfile/common/RecordLayout.h"
#include "capfile/write/CXcfFileWriter.h"

class CXcfCaptureRecord;

class CXcfCaptureFileWriter : public CXcfFileWriter {
  public:
    // Bytes per entry of the index section and of the side index file.
    static constexpr uint32_t kIndexEntrySize = xcf::layout::kIndexEntrySize;
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

    // Gives up the file being written, for a run that failed or was stopped: closes the
    // output and the side index file without completing anything and removes both, the
    // output whether open or already closed. Only files this writer made go: the side index
    // file it created and an output it created or truncated (always a regular file).
    void discard();

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
    // caught in one place; the files collect bytes in blocks of their own and reach the system
    // in large writes.
    void emit(std::ostream& stream, const void* bytes, size_t count) {
        xcf::OutputFile* file = &stream == &outputStream  ? &outputStream
                                : &stream == &indexStream ? &indexStream
                                                          : nullptr;
        if (file == nullptr) {
            emitToOtherStream(stream, bytes, count);
            return;
        }
        file->put(bytes, count);
        if (file->failed()) {
            markFailed();
        }
    }
    // Room for count bytes (at most a few hundred) at the output's current position, counted
    // as written; the caller fills them at once. nullptr when the writer failed.
    uint8_t* reserveOutput(size_t count);
    // Hands the collected bytes of the file to the system; false (and the writer failed)
    // when any of it did not get there.
    bool flushStream(xcf::OutputFile& stream);
    // Moves the output to an absolute position; a failed seek marks the writer failed.
    void seekOutput(uint64_t position);
    uint64_t outputPosition() const { return outputStream.position(); }
    // One past the last byte written to the output so far.
    uint64_t outputEnd() const { return outputStream.end(); }
    // Creates the output file: as setCreateExclusively says, or truncating it when truncate
    // is set (a file of this writer's own that is written anew).
    bool createOutputStream(bool truncate = false);
    // Creates the side index file; only a name where nothing exists will do.
    bool createIndexStream();
    // Patching is possible only once the header is laid out and while the output is open.
    // Every path that closes the output also clears headerLaidOut, so the flag stands for an
    // open output as well.
    bool canPatch() const { return headerLaidOut && !hasFailed(); }
    // The side index file, where its failure came first.
    void failureSource(std::string& name, int32_t& error) const override;
    // Clears the failure and size-limit state for a new file.
    void clearWriteState();
    // True when a record of recordBytes more bytes, with its index entry and those of the
    // records before it, keeps the finished file within the size limit. Sets the size-limit
    // state when it does not. pendingBytes and pendingRecords are records about to be written
    // in front of it.
    bool recordFits(uint64_t recordBytes, uint64_t pendingBytes = 0, uint32_t pendingRecords = 0);
    // recordFits without setting any state.
    bool wouldFit(uint64_t recordBytes, uint64_t pendingBytes, uint32_t pendingRecords) const;
    // Copies the first byteCount bytes of the side index file to the output.
    void copyIndexFileToOutput(uint64_t byteCount);

    uint64_t numberOfRecordsPos = 0;
    uint64_t offsetToDataPos = 0;
    uint64_t offsetToIndexPos = 0;
    bool headerLaidOut = false;

    xcf::OutputFile indexStream;

  private:
    void emitToOtherStream(std::ostream& stream, const void* bytes, size_t count);

    uint64_t sizeLimit = kDefaultFileSizeLimit;
    bool sizeLimitReached = false;
};
