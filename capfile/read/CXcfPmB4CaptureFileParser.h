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

  protected:
    RecordShape recordShape() const override;
    void decodeRecordFields(const uint8_t* fields, CXcfCaptureRecord& record) override;
    size_t writerFieldsSize() const override {
        return isVersion10() && recordTypeTable[0] == xcf::layout::kB4WrittenRecordType
                   ? xcf::layout::kB4WrittenFieldsSize
                   : 0;
    }
};
