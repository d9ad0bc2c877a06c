// Writer of B4 capture files: version 01.00, a port byte, a status byte, a layer-2 type byte
// and an 8-byte extension per record, 19 bytes plus the frame.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/common/RecordLayout.h"
#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"

class CXcfPmB4CaptureFileWriter : public CXcfPmBinaryCaptureFileWriter {
  public:
    // Bytes of a record before its frame.
    static constexpr uint32_t kRecordFieldsSize = xcf::layout::kB4WrittenFieldsSize;

    CXcfPmB4CaptureFileWriter(std::string portTypeList, std::string portIdList,
                              std::string directionList, int32_t recordType);
    ~CXcfPmB4CaptureFileWriter() override;

    // The record-object entry: the port byte keeps bits 0 to 6 (bit 7 is written as 0), status
    // and layer-2 type are 0, extension word 0 is the first extension byte and word 1 the next
    // four bytes; missing extension bytes count as 0.
    bool writeRecordValues(bool frameGood, uint8_t portByte, uint32_t seconds, uint32_t nanoseconds,
                           uint32_t extensionLength, const uint8_t* extension, uint32_t frameLength,
                           const uint8_t* frame) override;
    // Writes one record and its index entry. The port byte is rebuilt from its bits 7 to 5
    // (low 3 bits of portHigh) and 4 to 0 (low 5 bits of portLow). False when nothing was
    // written: the size limit is reached, the writer has failed or is not open, or frame is
    // null with a non-zero length.
    virtual bool writeRecordData(uint8_t portHigh, uint8_t portLow, uint32_t seconds,
                                 uint32_t nanoseconds, uint8_t statusByte, uint8_t layer2Type,
                                 uint32_t extensionWord0, uint32_t extensionWord1,
                                 uint32_t frameLength, const uint8_t* frame);
};
