// Writer of the binary tester formats: big-endian encoding, in-place rewriting of header fields,
// opening of the output together with its side index file, the description line and the
// setters of the capture values. Also holds what the B3 and B4 writers share: the capture
// times block at the end of the header and the record path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "capfile/common/RecordRun.h"
#include "capfile/write/CXcfPmCaptureFileWriter.h"
#include "record/ByteOrder.h"

class CXcfPmBinaryCaptureFileWriter : public CXcfPmCaptureFileWriter {
  public:
    // A counted string's length field holds 16 bits; longer texts are cut.
    static constexpr uint32_t kMaxCountedStringLength = 0xFFFF;

    CXcfPmBinaryCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                                  int32_t versionMinorNumber, uint16_t formatFlags);
    ~CXcfPmBinaryCaptureFileWriter() override;

    // Creates the side index file and the output and lays out the header. False for an empty
    // name, when a file cannot be created, and when the header cannot be written; then
    // lastErrorCode is kErrorWriteFailure and no file this writer created is left behind.
    bool open(std::string name, std::string descriptionText) override;
    // The header of the B3 and B4 formats: the common header, then the capture times block.
    void writeHeader() override;
    // The record-object entry of both formats: the frame bytes the record holds go to
    // writeRecordValues.
    bool writeRecordFields(bool frameGood, uint8_t portByte, uint32_t seconds, uint32_t nanoseconds,
                           uint32_t extensionLength, const uint8_t* extension,
                           uint32_t frameStoredLength, uint32_t frameLength,
                           const uint8_t* frame) override;
    // One record from the values of a record object, laid out as the format lays it out.
    virtual bool writeRecordValues(bool frameGood, uint8_t portByte, uint32_t seconds,
                                   uint32_t nanoseconds, uint32_t extensionLength,
                                   const uint8_t* extension, uint32_t frameLength,
                                   const uint8_t* frame) = 0;
    void setDescription(std::string text) override;
    void putByte(std::ostream& stream, uint32_t value) override;
    void putUint16(std::ostream& stream, uint32_t value) override;
    void putUint32(std::ostream& stream, uint32_t value) override;
    uint64_t patchOffsetToData() override;
    uint64_t patchOffsetToIndex() override;
    uint64_t patchNumberOfRecords() override;
    // The setters store their value and, once the header is laid out, rewrite the field at
    // once and move the output back, so they may be called between records.
    void setSourceRecordType(uint32_t index, uint32_t value) override;
    void setSourceName(uint32_t index, std::string text) override;
    void setCaptureStartTimeOfDay(const CXcfTimeOfDay& timeOfDay) override;
    void setCaptureStopTimeOfDay(const CXcfTimeOfDay& timeOfDay) override;
    void setCaptureStopTimestamp(int32_t seconds, int32_t nanoseconds) override;
    void setCaptureStopTimestamp(const CXcfTimestamp& timestamp) override;
    void setTriggerPacketNumber(uint32_t number) override;
    void putString(std::ostream& stream, const char* characters, uint32_t length) override;
    void putString(std::ostream& stream, const std::string& text, uint32_t length) override;
    uint64_t patchRecordTypeTable() override;
    uint64_t patchSourceNameTable() override;
    virtual uint64_t patchCaptureStartTimeOfDay();
    virtual uint64_t patchCaptureStopTimeOfDay();
    virtual uint64_t patchCaptureStopTimestamp();
    virtual uint64_t patchTriggerPacketNumber();

    // Appends records [from, from + count) of the run copied as bytes from the run's file,
    // each with its index entry, as writeRecordData would write it: a B3 run into a B4 writer
    // is converted (each record gains its port and status bytes, both 0); a B4 run cannot go
    // into a B3 writer as bytes, and gives 0 (its records are written the usual way). Returns
    // how many records were written: fewer where the size limit stops them (at the record
    // where writeRecordData would stop), the writer failed, or the file could not be read
    // (the records before the one that failed are written).
    uint32_t copyRecords(const xcf::RecordRun& run, uint32_t from, uint32_t count);

  protected:
    // A B3 or B4 writer of the record type, whose source 0 is sourceName, with headerLines
    // added to the text header block.
    CXcfPmBinaryCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                                  int32_t versionMinorNumber, uint16_t formatFlags,
                                  int32_t recordType, const std::string& sourceName,
                                  const std::string& headerLines);
    // The header of the B3 and B4 formats: the common header, then the capture times block;
    // the data start after it.
    void writeHeaderWithCaptureTimes();
    // Appends one record (fixed fields, then the frame) and its index entry. fillFields(at)
    // stores the fieldCount bytes of fixed fields straight into the output's collection
    // block: assembling them in an array first and copying that costs a store-forwarding
    // stall per record. False, with nothing written, when the writer is not open, has
    // failed, the frame is missing, or the record would not fit the size limit.
    template <typename FillFields>
    bool writeRecordBytes(size_t fieldCount, FillFields fillFields, const uint8_t* frame,
                          uint32_t frameLength) {
        if (!startRecord(fieldCount, frame, frameLength)) {
            return false;
        }
        uint8_t* fields = reserveOutput(fieldCount);
        if (fields == nullptr) {
            return false;
        }
        fillFields(fields);
        emit(outputStream, frame, frameLength);
        return finishRecord();
    }
    // The fields both formats have: the timestamp at the start and the two extension words at
    // extensionOffset, big-endian.
    static void storeTimeAndExtension(uint8_t* fields, uint32_t seconds, uint32_t nanoseconds,
                                      size_t extensionOffset, uint32_t extensionWord0,
                                      uint32_t extensionWord1) {
        xcf::store32(fields, seconds);
        xcf::store32(fields + 4, nanoseconds);
        xcf::store32(fields + extensionOffset, extensionWord0);
        xcf::store32(fields + extensionOffset + 4, extensionWord1);
    }
    // The two extension values of the record-object entry: the first extension byte and the
    // next four as a big-endian number. Bytes beyond the extension's length count as 0.
    static void extensionValues(uint32_t extensionLength, const uint8_t* extension,
                                uint32_t& firstByte, uint32_t& nextFourBytes);
    // The frame bytes a record object really holds, for a frame that may claim more.
    static uint32_t heldFrameLength(uint32_t frameStoredLength, uint32_t frameLength);

  private:
    // The checks and the index entry in front of a record; false when it is not written.
    bool startRecord(size_t fieldCount, const uint8_t* frame, uint32_t frameLength);
    bool finishRecord();
    // Remembers the output position, writes `count` bytes at fieldPosition and returns the
    // remembered position. Does nothing while the output is closed.
    uint64_t patchField(uint64_t fieldPosition, const uint8_t* bytes, size_t count);
    uint64_t patchTimeOfDay(uint64_t fieldPosition, const CXcfTimeOfDay& timeOfDay);

    // copyRecords of count records lying at offsets[0] to offsets[count] of input.
    uint32_t copyRecordBytes(xcf::InputFile& input, const uint32_t* offsets, uint32_t count,
                             bool fromB3);
    // Record bytes of copyRecords, kept between its calls.
    std::vector<uint8_t> copyScratch;
};
