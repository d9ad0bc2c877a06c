#include "support/RecordCopy.h"

namespace testsupport {

bool RecordCopy::operator==(const RecordCopy& other) const {
    return seconds == other.seconds && nanoseconds == other.nanoseconds &&
           portByte == other.portByte && frameGood == other.frameGood &&
           statusByte == other.statusByte && layer2Type == other.layer2Type &&
           extension == other.extension && frame == other.frame;
}

RecordCopy copyOf(const CXcfCaptureRecord& record) {
    RecordCopy copy;
    copy.seconds = record.getTimestampSeconds();
    copy.nanoseconds = record.getTimestampNanoseconds();
    copy.portByte = record.getPortByte();
    copy.frameGood = record.isFrameGood();
    copy.statusByte = record.getStatusByte();
    copy.layer2Type = record.getLayer2Type();
    if (const uint8_t* extension = record.getExtension()) {
        copy.extension.assign(extension, extension + record.getExtensionLength());
    }
    if (const uint8_t* frame = record.getFrame()) {
        copy.frame.assign(frame, frame + record.getFrameStoredLength());
    }
    return copy;
}

}  // namespace testsupport
