// Writer of B3 capture files: version 01.01, one layer-2 type byte and an 8-byte extension per
// record, 17 bytes plus the frame.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/common/RecordLayout.h"
#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"

class CXcfPmB3CaptureFileWriter : public CXcfPmBinaryCaptureFileWriter {
  public:
    // Bytes of a record before its frame.
    static constexpr uint32_t kRecordFieldsSize = xcf::layout::kB3WrittenFieldsSize;

    CXcfPmB3CaptureFileWriter(std::string portType, std::string portId, std::string direction,
                              int32_t recordType);
    ~CXcfPmB3CaptureFileWriter() override;

    // The record-object entry: the layer-2 type is 0, extension word 0 is the first extension
    // byte and word 1 the next four bytes; missing extension bytes count as 0.
    bool writeRecordValues(bool frameGood, uint8_t portByte, uint32_t seconds, uint32_t nanoseconds,
                           uint32_t extensionLength, const uint8_t* extension, uint32_t frameLength,
                           const uint8_t* frame) override;
    // Writes one record and its index entry. False when nothing was written: the size limit is
    // reached, the writer has failed or is not open, or frame is null with a non-zero length.
    virtual bool writeRecordData(uint32_t seconds, uint32_t nanoseconds, uint8_t layer2Type,
                                 uint32_t extensionWord0, uint32_t extensionWord1,
                                 uint32_t frameLength, const uint8_t* frame);
};
