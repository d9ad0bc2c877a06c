#include "capfile/read/CXcfPmB3CaptureFileParser.h"

#include <array>
#include <memory>
#include <vector>

#include "capfile/common/RecordLayout.h"
#include "record/ByteOrder.h"

namespace {

namespace layout = xcf::layout;

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
    CXcfPmBinaryCaptureFileParser::reset();
}

CXcfPmBinaryCaptureFileParser::RecordShape CXcfPmB3CaptureFileParser::recordShape() const {
    const uint16_t type = recordTypeTable[0];
    RecordShape shape;
    shape.known = type < layout::kB3ExtensionSize.size();
    shape.extensionSize = shape.known ? layout::kB3ExtensionSize[type] : 0;
    // Version 1.0 records have no layer-2 byte: the port description gives it.
    shape.fixedSize = isVersion10() ? layout::kTimestampSize : layout::kB3Layer2Offset + 1;
    return shape;
}

void CXcfPmB3CaptureFileParser::decodeRecordFields(const uint8_t* fields,
                                                   CXcfCaptureRecord& record) {
    if (isVersion10() && !portDescriptionParsed) {
        std::string portType;
        std::string portId;
        std::string direction;
        getPortDescription(0, portType, portId, direction);
    }
    record.setFrameGood(true);
    record.setPortByte(0);
    record.setTimestamp(xcf::load32(fields), xcf::load32(fields + 4));
    record.setLayer2Type(isVersion10() ? layer2Type : fields[layout::kB3Layer2Offset]);
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
