// Helpers shared by the writer tests: one writer per format behind a common call, and the
// sizes the formats give a header and a record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "support/TestSupport.h"

namespace writertest {

enum class Format { B3, B4 };

inline std::string formatName(Format format) {
    return format == Format::B3 ? "B3" : "B4";
}

inline std::unique_ptr<CXcfPmBinaryCaptureFileWriter> makeWriter(Format format) {
    if (format == Format::B3) {
        return std::make_unique<CXcfPmB3CaptureFileWriter>("POS", "1A", "Rx", 3);
    }
    return std::make_unique<CXcfPmB4CaptureFileWriter>("POS", "1A", "Rx", 4);
}

inline uint32_t fieldsSize(Format format) {
    return format == Format::B3 ? 17 : 19;
}

struct RecordValues {
    uint32_t seconds = 0;
    uint32_t nanoseconds = 0;
    uint8_t portByte = 0;    // B4 only
    uint8_t statusByte = 0;  // B4 only
    uint8_t layer2Type = 0;
    uint32_t word0 = 0;
    uint32_t word1 = 0;
};

// writeRecordData of the writer's own format; the B4 port byte goes in as its two parts.
inline bool writeData(CXcfPmBinaryCaptureFileWriter& writer, Format format, const RecordValues& v,
                      const testsupport::Bytes& frame) {
    const uint32_t length = static_cast<uint32_t>(frame.size());
    if (format == Format::B3) {
        return static_cast<CXcfPmB3CaptureFileWriter&>(writer).writeRecordData(
            v.seconds, v.nanoseconds, v.layer2Type, v.word0, v.word1, length, frame.data());
    }
    return static_cast<CXcfPmB4CaptureFileWriter&>(writer).writeRecordData(
        static_cast<uint8_t>(v.portByte >> 5), static_cast<uint8_t>(v.portByte & 0x1F), v.seconds,
        v.nanoseconds, v.statusByte, v.layer2Type, v.word0, v.word1, length, frame.data());
}

inline const char* paramName(Format format) {
    return format == Format::B3 ? "B3" : "B4";
}

}  // namespace writertest
