// Reader of B3 files: records with a timestamp, (from version 1.1 on) a layer-2 type byte,
// a record-type extension and the frame.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/common/RecordLayout.h"
#include "capfile/read/CXcfPmBinaryCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"

class CXcfPmB3CaptureFileParser : public CXcfPmBinaryCaptureFileParser {
  public:
    CXcfPmB3CaptureFileParser();
    ~CXcfPmB3CaptureFileParser() override;

    // Keeps the tables and the index window: the next open replaces them.
    void reset() override;
    bool getPortDescription(uint32_t recordNumber, std::string& portType, std::string& portId,
                            std::string& direction) override;
    bool getRecordSourceName(uint32_t recordNumber, std::string& name) override;

  protected:
    RecordShape recordShape() const override;
    void decodeRecordFields(const uint8_t* fields, CXcfCaptureRecord& record) override;
    size_t writerFieldsSize() const override {
        return !isVersion10() && recordTypeTable[0] == xcf::layout::kB3WrittenRecordType
                   ? xcf::layout::kB3WrittenFieldsSize
                   : 0;
    }
    uint8_t layer2Type = 0;
    bool portDescriptionParsed = false;
};
