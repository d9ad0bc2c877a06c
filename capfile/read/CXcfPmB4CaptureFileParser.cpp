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

void CXcfPmB4CaptureFileParser::reset() {
    CXcfCaptureFileCommon::reset();
}

std::string CXcfPmB4CaptureFileParser::report(std::string extra) const {
    return CXcfCaptureFileCommon::report(captureTimesText(triggerPacketNumber) + extra);
}

bool CXcfPmB4CaptureFileParser::readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) {
    const uint16_t type = recordTypeTable[0];
    // Only a type with all three single-byte fields fits the layout that reads them; any
    // other would run past the record's end.
    const bool layoutKnown =
        isVersion10() && type < layout::kB4RecordTypes.size() &&
        layout::kB4RecordTypes[type].singleByteFields == layout::kB4SingleByteFields;
    const uint32_t extensionSize = layoutKnown ? layout::kB4RecordTypes[type].extensionSize : 0;

    uint8_t fields[layout::kB4ExtensionOffset];
    RecordParts parts;
    uint32_t frameLength = 0;
    if (!readRecordLayout(recordNumber, layoutKnown, sizeof fields, extensionSize, fields, parts,
                          frameLength)) {
        return false;
    }
    const uint8_t portByte = fields[layout::kB4PortOffset];
    record.clear();
    record.setFrameGood((portByte & layout::kDamagedFrameBit) == 0);
    record.setPortByte(portByte);
    record.setTimestamp(xcf::load32(fields), xcf::load32(fields + 4));
    record.setStatusByte(fields[layout::kB4StatusOffset]);
    record.setLayer2Type(fields[layout::kB4Layer2Offset]);
    record.setRecordType(type);
    return storeRecordParts(record, parts, extensionSize, frameLength);
}

bool CXcfPmB4CaptureFileParser::readHeader() {
    return CXcfPmBinaryCaptureFileParser::readHeader() && readCaptureTimes(triggerPacketNumber);
}
