// Runs the real trcinfo in a temporary folder, so that file names in its output are the
// short relative names the tests give.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/TestSupport.h"

namespace trcinfotest {

using testsupport::Bytes;
using testsupport::CaptureFileBuilder;
using testsupport::CaptureFileLayout;

constexpr int kFailure = 255;  // main returns -1

inline std::string offsetText(size_t offset) {
    char text[32];
    std::snprintf(text, sizeof text, "%zu (0x%08zX)", offset, offset);
    return text;
}

// A pcap global header of version 2.4 (snaplen 65535, Ethernet) in either byte order.
inline Bytes pcapHeader(bool bigEndian) {
    testsupport::ByteBuilder b;
    auto put16 = [&](uint32_t v) { bigEndian ? b.u16(v) : b.le16(v); };
    auto put32 = [&](uint32_t v) { bigEndian ? b.u32(v) : b.le32(v); };
    put32(0xa1b2c3d4);
    put16(2);
    put16(4);
    put32(0);
    put32(0);
    put32(65535);
    put32(1);
    return b.data();
}

class TrcinfoTest : public ::testing::Test {
  protected:
    testsupport::ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::trcinfoPath());
        testsupport::RunOptions options;
        options.workingDir = dir.path();
        return testsupport::runProgram(args, options);
    }
    void write(const std::string& name, const Bytes& bytes) {
        testsupport::writeFile(dir.file(name), bytes);
    }

    testsupport::TempDir dir;
};

}  // namespace trcinfotest
