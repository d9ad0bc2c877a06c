// Fixture shared by the tester-family reader suites: a temporary file built byte by byte
// and a reader of the format under test (B3 or B4).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "support/CaptureFileBuilder.h"

namespace pmreader {

using testsupport::Bytes;
using testsupport::CaptureFileBuilder;
using testsupport::CaptureFileLayout;

enum class Format { B3, B4 };

// Names the format in test output instead of dumping its bytes.
inline void PrintTo(Format format, std::ostream* out) {
    *out << (format == Format::B3 ? "B3" : "B4");
}

inline std::string formatLabel(const testing::TestParamInfo<Format>& info) {
    return info.param == Format::B3 ? "B3" : "B4";
}

inline std::unique_ptr<CXcfPmBinaryCaptureFileParser> makeReader(Format format) {
    if (format == Format::B3) {
        return std::make_unique<CXcfPmB3CaptureFileParser>();
    }
    return std::make_unique<CXcfPmB4CaptureFileParser>();
}

inline CaptureFileBuilder builderFor(Format format) {
    return format == Format::B3 ? CaptureFileBuilder() : CaptureFileBuilder::b4();
}

// Bytes in front of the frame in a record of the builder's default type (fields + 8-byte
// extension).
inline size_t fixedPart(Format format) {
    return format == Format::B3 ? 17 : 19;
}

// A record of the default layout: the seconds identify it, the frame counts up from them.
inline Bytes recordFor(Format format, uint32_t seconds, size_t frameLength) {
    const Bytes extension = CaptureFileBuilder::pattern(8, 0xE0);
    const Bytes frame = CaptureFileBuilder::pattern(frameLength, static_cast<uint8_t>(seconds));
    if (format == Format::B3) {
        return CaptureFileBuilder::b3Record(seconds, 7, 2, extension, frame);
    }
    return CaptureFileBuilder::b4Record(seconds, 7, 0x01, 0x22, 2, extension, frame);
}

class PmReaderTest : public testing::TestWithParam<Format> {
  protected:
    void addRecords(uint32_t count, size_t frameLength = 20) {
        for (uint32_t k = 1; k <= count; ++k) {
            builder.records.push_back(recordFor(GetParam(), k, frameLength));
        }
    }
    bool openBuilt() {
        layout = builder.writeTo(path);
        return reader->open(path);
    }
    // -1 when record n reads, else the error code left by the failed read.
    int32_t readCode(uint32_t n) {
        reader->lastErrorCode = 0;
        return reader->readRecord(n, record) ? -1 : reader->lastErrorCode;
    }

    testsupport::TempDir dir;
    std::string path = dir.file("in.cap");
    CaptureFileBuilder builder = builderFor(GetParam());
    CaptureFileLayout layout;
    std::unique_ptr<CXcfPmBinaryCaptureFileParser> reader = makeReader(GetParam());
    CXcfCaptureRecord record;
};

}  // namespace pmreader
