#include "capfile/write/CXcfPmB3CaptureFileWriter.h"

#include "capfile/common/RecordLayout.h"

namespace layout = xcf::layout;

CXcfPmB3CaptureFileWriter::CXcfPmB3CaptureFileWriter(std::string portType, std::string portId,
                                                     std::string direction, int32_t recordType)
    : CXcfPmBinaryCaptureFileWriter(
          "B3", 1, 1, 3, recordType, portType + "," + portId + "," + direction,
          "#Module: " + portType + "\n#Port: " + portId + "\n#Direction: " + direction + "\n") {}

CXcfPmB3CaptureFileWriter::~CXcfPmB3CaptureFileWriter() = default;

bool CXcfPmB3CaptureFileWriter::writeRecordValues(bool /*frameGood*/, uint8_t /*portByte*/,
                                                  uint32_t seconds, uint32_t nanoseconds,
                                                  uint32_t extensionLength,
                                                  const uint8_t* extension, uint32_t frameLength,
                                                  const uint8_t* frame) {
    uint32_t word0 = 0;
    uint32_t word1 = 0;
    extensionValues(extensionLength, extension, word0, word1);
    return writeRecordData(seconds, nanoseconds, 0, word0, word1, frameLength, frame);
}

bool CXcfPmB3CaptureFileWriter::writeRecordData(uint32_t seconds, uint32_t nanoseconds,
                                                uint8_t layer2Type, uint32_t extensionWord0,
                                                uint32_t extensionWord1, uint32_t frameLength,
                                                const uint8_t* frame) {
    return writeRecordBytes(
        kRecordFieldsSize,
        [&](uint8_t* fields) {
            storeTimeAndExtension(fields, seconds, nanoseconds, layout::kB3ExtensionOffset,
                                  extensionWord0, extensionWord1);
            fields[layout::kB3Layer2Offset] = layer2Type;
        },
        frame, frameLength);
}
