// Base of every reader: opening and closing, the record cursor, and where each record lies
// (fixed-length arithmetic or the index section, checked against the file's real size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "record/CXcfCaptureRecord.h"

class CXcfCaptureFileParser : public CXcfCaptureFileCommon {
  public:
    CXcfCaptureFileParser();
    ~CXcfCaptureFileParser() override;

    virtual void close();
    // The length of the open input file in bytes; 64 bits so that large files never wrap.
    virtual int64_t measureFileSize();
    // Reads the record at the cursor; its number on success, 0 at the end or on failure.
    virtual uint32_t readNextRecord(CXcfCaptureRecord& record);
    virtual bool open(std::string fileName);
    // Opens the file as open does, but through `file`, which the caller has open on it, so
    // that trying one reader after another opens the file once. The reader keeps the open
    // file when it accepts it; when it refuses it, the file goes back to `file`.
    bool openWith(xcf::InputFile& file, std::string fileName);
    virtual void rewind();
    virtual bool readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) = 0;
    virtual bool openFile() = 0;
    virtual bool readHeader() = 0;
    // Bytes of record recordNumber; 0 when it does not exist or when its extent is not a
    // size at all (the next record starts before it, or it would exceed 32 bits).
    virtual uint32_t recordSize(uint32_t recordNumber);
    virtual bool recordOffset(uint32_t recordNumber, uint32_t& offset);
    virtual bool lookupRecordOffset(uint32_t recordNumber, uint32_t& offset) = 0;
    virtual bool checkLayout();

    // Number of the record that readNextRecord reads next (1-based).
    uint32_t currentRecord = 0;

    // The open file, for callers that copy records as bytes (see recordRun).
    xcf::InputFile& inputFile() { return inputStream; }

  protected:
    // Where record recordNumber starts and how many bytes it spans, in signed 64 bits so
    // that a damaged index shows as a negative or oversized span instead of wrapping. False
    // when the record has no offset.
    bool recordExtent(uint32_t recordNumber, uint32_t& offset, int64_t& span);
    // True when [offset, offset + span) is a non-empty range of at most 32 bits' length inside
    // the data section: from offsetToData up to offsetToIndex, or up to the end of the file
    // without an index.
    bool extentInsideData(uint32_t offset, int64_t span) const;

    // Ends a failed open: closes the file, or gives an open file lent by openWith back.
    void dropInput();

  private:
    int64_t spanAfter(uint32_t recordNumber, uint32_t offset);

    xcf::InputFile* lender = nullptr;
};
