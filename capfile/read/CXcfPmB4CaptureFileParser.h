// Reader of B4 files: records with a timestamp, port, status and layer-2 bytes, a
// record-type extension and the frame.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/common/RecordLayout.h"
#include "capfile/read/CXcfPmBinaryCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"

class CXcfPmB4CaptureFileParser : public CXcfPmBinaryCaptureFileParser {
  public:
    CXcfPmB4CaptureFileParser();
    ~CXcfPmB4CaptureFileParser() override;

    using CXcfCaptureFileCommon::report;

    // Keeps the tables and the index window: the next open replaces them.
    void reset() override;
    std::string report(std::string extra) const override;
    bool readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) override;
    bool readHeader() override;

    uint32_t triggerPacketNumber = 0;

  protected:
    size_t writerFieldsSize() const override {
        return isVersion10() && recordTypeTable[0] == xcf::layout::kB4WrittenRecordType
                   ? xcf::layout::kB4WrittenFieldsSize
                   : 0;
    }
};
