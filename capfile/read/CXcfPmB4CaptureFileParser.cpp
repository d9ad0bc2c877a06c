#include "capfile/read/CXcfPmB4CaptureFileParser.h"

#include <memory>

#include "capfile/common/RecordLayout.h"
#include "record/ByteOrder.h"

namespace {

namespace layout = xcf::layout;

}  // namespace

CXcfPmB4CaptureFileParser::CXcfPmB4CaptureFileParser() {
    formatCode = "B4";
}

CXcfPmB4CaptureFileParser::~CXcfPmB4CaptureFileParser() = default;

CXcfPmBinaryCaptureFileParser::RecordShape CXcfPmB4CaptureFileParser::recordShape() const {
    const uint16_t type = recordTypeTable[0];
    RecordShape shape;
    // Only a type with all three single-byte fields fits the layout that reads them; any
    // other would run past the record's end.
    shape.known = isVersion10() && type < layout::kB4RecordTypes.size() &&
                  layout::kB4RecordTypes[type].singleByteFields == layout::kB4SingleByteFields;
    shape.extensionSize = shape.known ? layout::kB4RecordTypes[type].extensionSize : 0;
    shape.fixedSize = layout::kB4ExtensionOffset;
    return shape;
}

void CXcfPmB4CaptureFileParser::decodeRecordFields(const uint8_t* fields,
                                                   CXcfCaptureRecord& record) {
    const uint8_t portByte = fields[layout::kB4PortOffset];
    record.setFrameGood((portByte & layout::kDamagedFrameBit) == 0);
    record.setPortByte(portByte);
    record.setTimestamp(xcf::load32(fields), xcf::load32(fields + 4));
    record.setStatusByte(fields[layout::kB4StatusOffset]);
    record.setLayer2Type(fields[layout::kB4Layer2Offset]);
}
