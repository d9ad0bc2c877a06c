// Records that lie as the writers lay them out become packets straight from their bytes, in
// runs; the packets, the interfaces they name and the refusals must be exactly those of taking
// each record through a record object.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/TestSupport.h"
#include "trc2pcap/ExportRun.h"

using namespace testsupport;

namespace {

struct PathCase {
    const char* name;
    ExportFormat format;
    int linkType;  // -linktype, or -1 for none
    uint32_t start;
    uint32_t limit;
    // Record i: its port byte (damaged bit included), layer-2 code and seconds.
    uint8_t (*port)(uint32_t);
    uint8_t (*layer2)(uint32_t);
    uint32_t (*seconds)(uint32_t);
    bool exported;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

uint8_t fivePortsSomeDamaged(uint32_t i) {
    return static_cast<uint8_t>(i % 5 | (i % 7 == 3 ? 0x80 : 0));
}
uint8_t onePort(uint32_t) {
    return 1;
}
uint8_t ethernet(uint32_t) {
    return 2;
}
uint8_t codesInTurnsOfThree(uint32_t i) {
    return static_cast<uint8_t>(i / 3 % 3);
}
uint8_t unknownCodeLate(uint32_t i) {
    return i == 250 ? 9 : 2;
}
uint32_t inOrder(uint32_t i) {
    return 1000 + i;
}
uint32_t pastPcapSecondsLate(uint32_t i) {
    return i == 300 ? 0xFFFFFFFFu : 1000 + i;
}

class ExportPathsTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ExportPathsTest, RunsGiveTheBytesOfRecordByRecord) {
    const PathCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> inputs;
    for (int input = 0; input < 2; ++input) {
        CaptureFileBuilder b = CaptureFileBuilder::b4();
        b.sourceNames[1] = "GbE,1/1,Rx";
        b.sourceNames[3] = "GbE,1/3,Tx";
        for (uint32_t i = 0; i < 400; ++i) {
            b.records.push_back(CaptureFileBuilder::b4Record(
                c.seconds(i),
                // Past the last second, the nanoseconds carry the time beyond 32-bit seconds.
                c.seconds(i) == 0xFFFFFFFFu ? 4000000000u : i * 1000 + static_cast<uint32_t>(input),
                c.port(i), 0, c.layer2(i), kZeroWords,
                CaptureFileBuilder::pattern(1 + (i * 37) % 130, static_cast<uint8_t>(i))));
        }
        inputs.push_back(dir.file("in" + std::to_string(input) + ".cap"));
        b.writeTo(inputs.back());
    }
    auto exported = [&](bool runs, Bytes& bytes) {
        ExportSettings settings;
        settings.inputFileNames = inputs;
        settings.outputFileName = dir.file(runs ? "runs.out" : "records.out");
        settings.format = c.format;
        settings.startRecord = c.start;
        settings.recordLimit = c.limit;
        settings.linkTypeGiven = c.linkType >= 0;
        settings.linkType = static_cast<uint32_t>(std::max(c.linkType, 0));
        ExportRun run(settings);
        run.useRuns(runs);
        uint64_t count = 0;
        const bool done = run.openAllInputs() && run.prepareOutput() && run.exportRecords(count);
        run.cleanUp();
        bytes = readFile(settings.outputFileName);
        EXPECT_EQ(std::filesystem::exists(settings.outputFileName), done);
        return done;
    };
    Bytes fromRuns;
    Bytes fromRecords;
    EXPECT_EQ(exported(true, fromRuns), c.exported);
    EXPECT_EQ(exported(false, fromRecords), c.exported);
    EXPECT_EQ(fromRuns, fromRecords);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExportPathsTest,
    ::testing::Values(PathCase{"PortsChangingWithinARun", ExportFormat::kPcapng, -1, 1, 0,
                               fivePortsSomeDamaged, ethernet, inOrder, true},
                      PathCase{"LinkTypesChangingWithinARun", ExportFormat::kPcapng, -1, 1, 0,
                               fivePortsSomeDamaged, codesInTurnsOfThree, inOrder, true},
                      PathCase{"StartAndCount", ExportFormat::kPcapng, -1, 397, 9,
                               fivePortsSomeDamaged, codesInTurnsOfThree, inOrder, true},
                      PathCase{"PcapRefusesASecondLinkType", ExportFormat::kPcap, -1, 1, 0, onePort,
                               codesInTurnsOfThree, inOrder, false},
                      PathCase{"PcapWithLinkTypeGiven", ExportFormat::kPcap, 147, 1, 0, onePort,
                               codesInTurnsOfThree, inOrder, true},
                      PathCase{"CodeWithoutLinkType", ExportFormat::kPcapng, -1, 1, 0, onePort,
                               unknownCodeLate, inOrder, false},
                      PathCase{"PcapRefusesATimePastItsSeconds", ExportFormat::kPcap, -1, 1, 0,
                               onePort, ethernet, pastPcapSecondsLate, false},
                      PathCase{"PcapngKeepsATimePastPcapSeconds", ExportFormat::kPcapng, -1, 1, 0,
                               onePort, ethernet, pastPcapSecondsLate, true}),
    ::testing::PrintToStringParamName());

}  // namespace
