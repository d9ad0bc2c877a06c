// Outputs that cannot be made: the run must fail with the open step's message and leave
// neither a half-written output nor its side index file behind, and the inputs untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

struct Obstacle {
    const char* name;
    bool sideIndexIsAFolder;  // the side index file's name is taken by a folder
    bool outputOnAFullDisk;   // the output name leads to a device that is always full
};

class UnwritableOutput : public testing::TestWithParam<Obstacle> {};

TEST_P(UnwritableOutput, FailsAtOpenAndLeavesNothingBehind) {
    TempDir dir;
    SampleOptions options;
    options.tag = 1;
    writeSample(dir.file("a.cap"), options);
    options.tag = 2;
    writeSample(dir.file("b.cap"), options);
    const Bytes a = readFile(dir.file("a.cap"));
    const Bytes b = readFile(dir.file("b.cap"));
    const std::string out = dir.file("out.cap");
    if (GetParam().sideIndexIsAFolder) {
        std::filesystem::create_directory(out + ".idx");
    }
    if (GetParam().outputOnAFullDisk) {
        if (!fileExists("/dev/full")) {
            GTEST_SKIP() << "no /dev/full on this machine";
        }
        // Rather than a file size limit, which would also cut the child's coverage data short.
        std::filesystem::create_symlink("/dev/full", out);
    }

    const ProcessResult result = runProgram(
        {splicetrcPath(), "-in", dir.file("a.cap"), "-in", dir.file("b.cap"), "-out", out});

    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_NE(result.output.find("ERROR (openOutputFile) - Failed to open file: '" + out + "'\n"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("Start from record"), std::string::npos);
    EXPECT_FALSE(std::filesystem::is_symlink(out) || fileExists(out));
    EXPECT_EQ(fileExists(out + ".idx"), GetParam().sideIndexIsAFolder);
    EXPECT_EQ(readFile(dir.file("a.cap")), a);
    EXPECT_EQ(readFile(dir.file("b.cap")), b);
}

INSTANTIATE_TEST_SUITE_P(Obstacles, UnwritableOutput,
                         testing::Values(Obstacle{"SideIndexNameTaken", true, false},
                                         Obstacle{"DiskFullInTheHeader", false, true}),
                         [](const testing::TestParamInfo<Obstacle>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
