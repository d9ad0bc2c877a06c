#include "support/RecordCopy.h"

#include <algorithm>

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

RecordCopy asOutputRecord(const RecordCopy& input, Format from, Format to) {
    RecordCopy out = input;
    out.extension.assign(xcf::layout::kExtensionWordsSize, 0);
    for (size_t word = 0; word + 4 <= std::min(input.extension.size(), out.extension.size());
         word += 4) {
        std::copy_n(input.extension.begin() + word, 4, out.extension.begin() + word);
    }
    if (from == Format::B3 || to == Format::B3) {
        out.frameGood = true;
        out.portByte = 0;
        out.statusByte = 0;
    }
    return out;
}

}  // namespace testsupport
