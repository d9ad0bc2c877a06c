// Shared by the writer tests: one writer per format behind a common record call.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "support/TestSupport.h"

namespace writertest {

using testsupport::Bytes;
enum class Format { B3, B4 };

// Names the format in test output instead of dumping its bytes.
inline void PrintTo(Format format, std::ostream* out) {
    *out << (format == Format::B3 ? "B3" : "B4");
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
    uint32_t seconds = 0, nanoseconds = 0;
    uint8_t portByte = 0, statusByte = 0, layer2Type = 0;  // port and status: B4 only
    uint32_t word0 = 0, word1 = 0;
};

// writeRecordData of the writer's format; the B4 port byte goes in as its two parts.
inline bool writeData(CXcfPmBinaryCaptureFileWriter& writer, Format format, const RecordValues& v,
                      const Bytes& frame) {
    const auto length = static_cast<uint32_t>(frame.size());
    if (format == Format::B3) {
        return static_cast<CXcfPmB3CaptureFileWriter&>(writer).writeRecordData(
            v.seconds, v.nanoseconds, v.layer2Type, v.word0, v.word1, length, frame.data());
    }
    return static_cast<CXcfPmB4CaptureFileWriter&>(writer).writeRecordData(
        static_cast<uint8_t>(v.portByte >> 5), static_cast<uint8_t>(v.portByte & 0x1F), v.seconds,
        v.nanoseconds, v.statusByte, v.layer2Type, v.word0, v.word1, length, frame.data());
}

inline Bytes slice(const Bytes& b, size_t offset, size_t length) {
    return Bytes(b.begin() + static_cast<long>(offset),
                 b.begin() + static_cast<long>(offset + length));
}

inline std::string text(const Bytes& b, size_t offset, size_t length) {
    return std::string(b.begin() + static_cast<long>(offset),
                       b.begin() + static_cast<long>(offset + length));
}

inline std::string formatParamName(const ::testing::TestParamInfo<Format>& info) {
    return info.param == Format::B3 ? "B3" : "B4";
}

}  // namespace writertest

#define INSTANTIATE_FOR_BOTH_FORMATS(Suite)                                                     \
    INSTANTIATE_TEST_SUITE_P(Formats, Suite,                                                    \
                             ::testing::Values(writertest::Format::B3, writertest::Format::B4), \
                             writertest::formatParamName)
