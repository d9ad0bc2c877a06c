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

using namespace testsupport;

constexpr int kFailure = 255;  // main returns -1

inline std::string offsetText(size_t offset) {
    char text[32];
    std::snprintf(text, sizeof text, "%zu (0x%08zX)", offset, offset);
    return text;
}

class TrcinfoTest : public ::testing::Test {
  protected:
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), trcinfoPath());
        RunOptions options;
        options.workingDir = dir.path();
        return runProgram(args, options);
    }
    void write(const std::string& name, const Bytes& bytes) { writeFile(dir.file(name), bytes); }

    TempDir dir;
};

}  // namespace trcinfotest
