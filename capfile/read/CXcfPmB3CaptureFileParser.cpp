#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "record/ByteOrder.h"

#include <array>
#include <memory>
#include <vector>

namespace {

// Extension bytes per record type; types beyond the table have no record layout.
constexpr std::array<uint32_t, 4> kExtensionSize = {0, 0, 5, 8};

constexpr size_t kTimestampSize = 8;
constexpr size_t kLayer2Size = 1;

const std::array<const char*, 3> kLayer2Names = {
    "CRV_LAYER2_POS_PPP",
    "CRV_LAYER2_POS_CISCO_HDLC",
    "CRV_LAYER2_GBE",
};

}  // namespace

CXcfPmB3CaptureFileParser::CXcfPmB3CaptureFileParser() {
    formatCode = "B3";
}

CXcfPmB3CaptureFileParser::~CXcfPmB3CaptureFileParser() = default;

void CXcfPmB3CaptureFileParser::reset() {
    layer2Type = 0;
    portDescriptionParsed = false;
    CXcfCaptureFileCommon::reset();
}

std::string CXcfPmB3CaptureFileParser::report(std::string extra) const {
    return CXcfCaptureFileCommon::report(captureTimesText(triggerPacketNumber) + extra);
}

bool CXcfPmB3CaptureFileParser::readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) {
    uint32_t offset = 0;
    int64_t span = 0;
    if (!recordExtent(recordNumber, offset, span) || span == 0) {
        return false;
    }
    const uint16_t type = recordTypeTable[0];
    if (!extentInsideData(offset, span) || type >= kExtensionSize.size()) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t extensionSize = kExtensionSize[type];
    const bool version10 = isVersion10();
    const size_t fixedSize = version10 ? kTimestampSize : kTimestampSize + kLayer2Size;
    if (version10 && !portDescriptionParsed) {
        std::string portType;
        std::string portId;
        std::string direction;
        getPortDescription(recordNumber, portType, portId, direction);
    }
    // The frame needs at least one byte behind the fixed fields and the extension.
    if (span <= static_cast<int64_t>(fixedSize + extensionSize)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint32_t frameLength = static_cast<uint32_t>(span - fixedSize - extensionSize);

    uint8_t fields[kTimestampSize + kLayer2Size];
    RecordParts parts;
    if (!readRecordParts(offset, fields, fixedSize, extensionSize, frameLength, parts)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    const uint8_t recordLayer2 = version10 ? layer2Type : fields[kTimestampSize];

    record.clear();
    record.setFrameGood(true);
    record.setPortByte(0);
    record.setTimestamp(xcf::load32(fields), xcf::load32(fields + 4));
    record.setLayer2Type(recordLayer2);
    record.setRecordType(type);
    if (!storeRecordParts(record, parts, extensionSize, frameLength)) {
        lastErrorCode = kErrorCorruptFile;
        return false;
    }
    return true;
}

bool CXcfPmB3CaptureFileParser::readHeader() {
    return CXcfPmBinaryCaptureFileParser::readHeader() && readCaptureTimes(triggerPacketNumber);
}

bool CXcfPmB3CaptureFileParser::getPortDescription(uint32_t recordNumber, std::string& portType,
                                                   std::string& portId, std::string& direction) {
    portType = "POS";
    portId = "1A";
    direction = "Rx";
    std::string name;
    getRecordSourceName(recordNumber, name);

    const std::vector<std::string> tokens = splitFields(name, " ,");
    const size_t fieldCount = isVersion10() ? 4 : 3;
    size_t field = 0;
    size_t t = 0;
    while (t < tokens.size() && field < fieldCount) {
        const std::string& token = tokens[t];
        if (field == 0 && token == "Unknown") {
            // An unknown port keeps the defaults; the same token is then taken as the
            // layer-2 field.
            field = 3;
            continue;
        }
        if (field == 0) {
            portType = token;
        } else if (field == 1) {
            portId = token;
        } else if (field == 2) {
            direction = token;
        } else {
            for (size_t code = 0; code < kLayer2Names.size(); ++code) {
                if (token == kLayer2Names[code]) {
                    layer2Type = static_cast<uint8_t>(code);
                }
            }
        }
        ++field;
        ++t;
    }
    portDescriptionParsed = true;
    return true;
}

bool CXcfPmB3CaptureFileParser::getRecordSourceName(uint32_t, std::string& name) {
    name = getSourceName(0);
    return true;
}
