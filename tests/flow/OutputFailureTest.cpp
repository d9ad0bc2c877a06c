// Every program that writes files, through every kind of output it writes, when the output
// cannot be written: it says why, ends with a failure, and leaves the output's folder as it
// was, the old output included. One table of situations against one table of runs.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "support/TestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct Writing {
    const char* name;
    std::string (*program)();
    std::vector<std::string> args;  // OUT stands for the output, IN for the input
};

const Writing kWritings[] = {
    {"Splice", splicetrcPath, {"-in", "IN", "-in", "IN", "-out", "OUT"}},
    {"ExportPcapng", trc2pcapPath, {"-in", "IN", "-out", "OUT"}},
    {"ExportPcap", trc2pcapPath, {"-in", "IN", "-out", "OUT", "-format", "pcap"}},
    {"EditOneFile", trceditPath, {"-in", "IN", "-out", "OUT"}},
    {"EditSorted", trceditPath, {"-in", "IN", "-in", "IN", "-sort", "-out", "OUT"}},
    {"EditChunks", trceditPath, {"-in", "IN", "-out", "OUT", "-split-records", "100"}},
    {"EditWindow", trceditPath, {"-in", "IN", "-out", "OUT", "-from", "1", "-to", "250"}},
};

enum class Situation { kFileSizeLimit, kFullDisk, kReadOnlyFolder };

struct Case {
    Writing writing;
    Situation situation;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.writing.name << "/"
        << (c.situation == Situation::kFileSizeLimit ? "FileSizeLimit"
            : c.situation == Situation::kFullDisk    ? "FullDisk"
                                                     : "ReadOnlyFolder");
}

std::set<std::string> listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class OutputFailure : public ::testing::TestWithParam<Case> {};

TEST_P(OutputFailure, SaysWhyAndLeavesTheFolderAsItWas) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string input = dir.file("in.cap");
    {
        // 300 records of 1,000 bytes, one a second.
        CXcfPmB3CaptureFileWriter writer("POS", "1A", "Rx", 3);
        ASSERT_TRUE(writer.open(input, "input"));
        const std::vector<uint8_t> frame(1000, 0x5A);
        for (uint32_t i = 0; i < 300; ++i) {
            ASSERT_TRUE(writer.writeRecordData(i, 0, 2, i, 0, 1000, frame.data()));
        }
        writer.close();
    }
    std::string folder = dir.file("out");
    fs::create_directory(folder);
    bool mounted = false;
    RunOptions options;
    if (c.situation == Situation::kFileSizeLimit) {
        options.fileSizeLimit = 60000;
    } else {
        mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) {
            GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
        }
    }
    const std::string out = folder + "/old.out";
    const Bytes before(1000, 0x0D);
    writeFile(out, before);
    if (c.situation == Situation::kReadOnlyFolder &&
        mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        umount2(folder.c_str(), MNT_DETACH);
        GTEST_SKIP() << "the tmpfs cannot be made read-only";
    }
    const std::set<std::string> namesBefore = listing(folder);

    std::vector<std::string> args = {c.writing.program()};
    for (const std::string& arg : c.writing.args) {
        args.push_back(arg == "OUT" ? out : arg == "IN" ? input : arg);
    }
    const ProcessResult result = runProgram(args, options);

    EXPECT_NE(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("ERROR ("), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("because: "), std::string::npos) << result.output;
    EXPECT_EQ(listing(folder), namesBefore) << result.output;
    EXPECT_EQ(readFile(out), before);
    if (mounted) {
        umount2(folder.c_str(), MNT_DETACH);
    }
}

std::vector<Case> cases() {
    std::vector<Case> all;
    for (const Writing& writing : kWritings) {
        for (Situation situation :
             {Situation::kFileSizeLimit, Situation::kFullDisk, Situation::kReadOnlyFolder}) {
            all.push_back({writing, situation});
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Programs, OutputFailure, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::ostringstream name;
                             PrintTo(info.param, &name);
                             std::string text = name.str();
                             text.erase(text.find('/'), 1);
                             return text;
                         });

}  // namespace
