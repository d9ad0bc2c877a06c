#include "capfile/write/CXcfPmB4CaptureFileWriter.h"

#include "capfile/common/RecordLayout.h"

namespace layout = xcf::layout;

CXcfPmB4CaptureFileWriter::CXcfPmB4CaptureFileWriter(std::string portTypeList,
                                                     std::string portIdList,
                                                     std::string directionList, int32_t recordType)
    : CXcfPmBinaryCaptureFileWriter(
          "B4", 1, 0, 1, recordType, portTypeList + "," + portIdList + "," + directionList,
          "#PortType list: " + portTypeList + "\n#PortId list: " + portIdList +
              "\n#Direction list: " + directionList + "\n") {}

CXcfPmB4CaptureFileWriter::~CXcfPmB4CaptureFileWriter() = default;

bool CXcfPmB4CaptureFileWriter::writeRecordValues(bool /*frameGood*/, uint8_t portByte,
                                                  uint32_t seconds, uint32_t nanoseconds,
                                                  uint32_t extensionLength,
                                                  const uint8_t* extension, uint32_t frameLength,
                                                  const uint8_t* frame) {
    uint32_t word0 = 0;
    uint32_t word1 = 0;
    extensionValues(extensionLength, extension, word0, word1);
    const uint8_t high = static_cast<uint8_t>((portByte >> 5) & 0x03);
    const uint8_t low = static_cast<uint8_t>(portByte & 0x1F);
    return writeRecordData(high, low, seconds, nanoseconds, 0, 0, word0, word1, frameLength, frame);
}

bool CXcfPmB4CaptureFileWriter::writeRecordData(uint8_t portHigh, uint8_t portLow, uint32_t seconds,
                                                uint32_t nanoseconds, uint8_t statusByte,
                                                uint8_t layer2Type, uint32_t extensionWord0,
                                                uint32_t extensionWord1, uint32_t frameLength,
                                                const uint8_t* frame) {
    return writeRecordBytes(
        kRecordFieldsSize,
        [&](uint8_t* fields) {
            storeTimeAndExtension(fields, seconds, nanoseconds, layout::kB4ExtensionOffset,
                                  extensionWord0, extensionWord1);
            fields[layout::kB4PortOffset] =
                static_cast<uint8_t>(((portHigh & 0x07) << 5) | (portLow & 0x1F));
            fields[layout::kB4StatusOffset] = statusByte;
            fields[layout::kB4Layer2Offset] = layer2Type;
        },
        frame, frameLength);
}
