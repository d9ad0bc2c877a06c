// Fixture shared by the tester-family reader suites: a temporary file built byte by byte
// and a reader of the format under test (B3 or B4).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "support/CaptureFileBuilder.h"
#include "support/Formats.h"
#include "support/SampleCaptures.h"

namespace pmreader {

using namespace testsupport;

inline CaptureFileBuilder builderFor(Format format) {
    return format == Format::B3 ? CaptureFileBuilder() : CaptureFileBuilder::b4();
}

// A record of the layout the writers write: the seconds identify it, the frame counts up
// from them.
inline Bytes recordFor(Format format, uint32_t seconds, size_t frameLength) {
    const Bytes extension = CaptureFileBuilder::pattern(xcf::layout::kExtensionWordsSize, 0xE0);
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

    TempDir dir;
    std::string path = dir.file("in.cap");
    CaptureFileBuilder builder = builderFor(GetParam());
    CaptureFileLayout layout;
    std::unique_ptr<CXcfPmBinaryCaptureFileParser> reader = makeReader(GetParam());
    CXcfCaptureRecord record;
};

}  // namespace pmreader
