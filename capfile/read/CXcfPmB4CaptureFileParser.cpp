#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "record/ByteOrder.h"

#include <array>
#include <memory>

namespace {

struct RecordTypeLayout {
    uint32_t extensionSize;
    uint32_t singleByteFields;
};

// Per record type: extension bytes and the count of single-byte fields the type has.
constexpr std::array<RecordTypeLayout, 5> kRecordTypes = {{
    {0, 0},
    {0, 0},
    {5, 0},
    {8, 1},
    {8, 3},
}};

constexpr size_t kTimestampSize = 8;
// Port, status and layer-2 bytes, which every record carries behind its timestamp.
constexpr size_t kSingleByteFields = 3;
constexpr size_t kFixedSize = kTimestampSize + kSingleByteFields;
constexpr uint8_t kDamagedFrameBit = 0x80;

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
    uint32_t offset = 0;
    int64_t span = 0;
    if (!recordExtent(recordNumber, offset, span) || span == 0) {
        return false;
    }
    const uint16_t type = recordTypeTable[0];
    // Only a type with all three single-byte fields fits the layout that reads them; any
    // other would run past the record's end.
    if (!extentInsideData(offset, span) || !isVersion10() || type >= kRecordTypes.size() ||
        kRecordTypes[type].singleByteFields != kSingleByteFields) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t extensionSize = kRecordTypes[type].extensionSize;
    if (span <= static_cast<int64_t>(kFixedSize + extensionSize)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t frameLength = static_cast<uint32_t>(span - kFixedSize - extensionSize);

    uint8_t fields[kFixedSize];
    RecordParts parts;
    if (!readRecordParts(offset, fields, kFixedSize, extensionSize, frameLength, parts)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint8_t portByte = fields[kTimestampSize];

    record.clear();
    record.setFrameGood((portByte & kDamagedFrameBit) == 0);
    record.setPortByte(portByte);
    record.setTimestamp(xcf::load32(fields), xcf::load32(fields + 4));
    record.setStatusByte(fields[kTimestampSize + 1]);
    record.setLayer2Type(fields[kTimestampSize + 2]);
    record.setRecordType(type);
    if (!storeRecordParts(record, parts, extensionSize, frameLength)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    return true;
}

bool CXcfPmB4CaptureFileParser::readHeader() {
    return CXcfPmBinaryCaptureFileParser::readHeader() && readCaptureTimes(triggerPacketNumber);
}
