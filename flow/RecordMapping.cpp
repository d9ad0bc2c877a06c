#include "flow/RecordMapping.h"

#include <algorithm>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"

namespace flow {

bool writeMapped(CXcfPmBinaryCaptureFileWriter& writer, CaptureFormat output,
                 const CXcfCaptureRecord& record, CaptureFormat source) {
    const uint32_t frameLength = std::min(record.getFrameLength(), record.getFrameStoredLength());
    if (output == CaptureFormat::kB3) {
        auto& b3 = static_cast<CXcfPmB3CaptureFileWriter&>(writer);
        return b3.writeRecordData(record.getTimestampSeconds(), record.getTimestampNanoseconds(),
                                  record.getLayer2Type(), record.getExtensionWord0(),
                                  record.getExtensionWord1(), frameLength, record.getFrame());
    }
    auto& b4 = static_cast<CXcfPmB4CaptureFileWriter&>(writer);
    if (source == CaptureFormat::kB4) {
        return b4.writeRecordData(record.getPortHighBits(), record.getPortLowBits() & 0x1F,
                                  record.getTimestampSeconds(), record.getTimestampNanoseconds(),
                                  record.getStatusByte(), record.getLayer2Type(),
                                  record.getExtensionWord0(), record.getExtensionWord1(),
                                  record.getFrameStoredLength(), record.getFrame());
    }
    return b4.writeRecordData(0, 0, record.getTimestampSeconds(), record.getTimestampNanoseconds(),
                              0, record.getLayer2Type(), record.getExtensionWord0(),
                              record.getExtensionWord1(), frameLength, record.getFrame());
}

}  // namespace flow
