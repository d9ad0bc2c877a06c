// Records whose bytes are the output's own are copied in runs from file to file. Whatever the
// inputs hold, the output and the console must be exactly those of reading and writing each
// record: same bytes, same warning at the same record, same cut at -start, -num and the size
// limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "splicetrc/AppendRun.h"
#include "splicetrc/RunSettings.h"
#include "support/CaptureFileBuilder.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// A B3 file of version 1.1 or 1.0 and record type 3 or 2, or a B4 file, of `count` records.
CaptureFileBuilder builder(Format format, uint32_t count, const std::string& version = "01.01",
                           uint16_t type = 3) {
    CaptureFileBuilder b = format == Format::B4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    if (format == Format::B3) {
        b.versionText = version;
        b.recordType = type;
    }
    b.sourceNames[0] = "POS,1A,Rx";
    const Bytes extension = type == 2 ? Bytes(5, 0x44) : kZeroWords;
    for (uint32_t i = 0; i < count; ++i) {
        const Bytes frame = CaptureFileBuilder::pattern(20 + i % 90, static_cast<uint8_t>(i));
        if (format == Format::B4) {
            b.records.push_back(CaptureFileBuilder::b4Record(
                i / 1000, i % 1000, static_cast<uint8_t>(i % 5 == 4 ? 0x81 : i % 3),
                static_cast<uint8_t>(i), 2, kZeroWords, frame));
        } else {
            b.records.push_back(CaptureFileBuilder::b3Record(
                i / 1000, i % 1000, version == "01.00" ? std::nullopt : std::optional<uint8_t>(1),
                extension, frame));
        }
    }
    return b;
}

// A B3 file of 20 records of 60,000 bytes, then 6,000 of 30 bytes; entriesWritten, when not
// 0, cuts its index section short.
CaptureFileBuilder varyingSizes(uint32_t entriesWritten) {
    CaptureFileBuilder b;
    for (uint32_t i = 0; i < 6020; ++i) {
        const Bytes frame =
            CaptureFileBuilder::pattern(i < 20 ? 60000 : 30, static_cast<uint8_t>(i));
        b.records.push_back(CaptureFileBuilder::b3Record(i / 1000, i % 1000, 1, kZeroWords, frame));
    }
    if (entriesWritten != 0) {
        b.indexEntriesWritten = entriesWritten;
    }
    return b;
}

struct Scenario {
    std::string name;
    // Writes the inputs into the folder and names them.
    std::function<std::vector<std::string>(const TempDir&)> inputs;
    uint32_t start = 1;
    uint32_t limit = 0;
    uint64_t sizeLimit = 0;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

std::vector<std::string> built(const TempDir& dir, std::vector<CaptureFileBuilder> builders) {
    std::vector<std::string> names;
    for (size_t i = 0; i < builders.size(); ++i) {
        names.push_back(dir.file("in" + std::to_string(i) + ".cap"));
        builders[i].writeTo(names.back());
    }
    return names;
}

const Scenario kScenarios[] = {
    {"Samples",
     [](const TempDir&) {
         return std::vector<std::string>{sourceDir() + "/examples/lab1-b3.cap",
                                         sourceDir() + "/examples/lab2-b3.cap"};
     }},
    {"SamplesConvertedToB4",
     [](const TempDir&) {
         return std::vector<std::string>{sourceDir() + "/examples/lab1-b3.cap",
                                         sourceDir() + "/examples/lab3-b4.cap",
                                         sourceDir() + "/examples/lab4-b4-ports.cap"};
     }},
    {"MixedTypesAndVersions",
     [](const TempDir& dir) {
         return built(dir, {builder(Format::B3, 1500), builder(Format::B3, 700, "01.00"),
                            builder(Format::B3, 800, "01.01", 2), builder(Format::B4, 2100),
                            builder(Format::B3, 300)});
     }},
    {"DamagedRecordInALargeInput",
     [](const TempDir& dir) {
         CaptureFileBuilder damaged = builder(Format::B3, 5000);
         CaptureFileLayout layout = damaged.writeTo(dir.file("probe.cap"));
         damaged.indexOverrides = {
             {3457, layout.recordOffsets[3455] + 5}};  // record 3456 too short
         return built(dir, {damaged, builder(Format::B3, 1200)});
     }},
    {"IndexSectionEndingEarly",
     [](const TempDir& dir) {
         CaptureFileBuilder shortIndex = builder(Format::B4, 4200);
         shortIndex.indexEntriesWritten = 3500;
         return built(dir, {shortIndex, builder(Format::B4, 10)});
     }},
    // Runs whose index entries take more than one read: the first read covers what the
    // byte limit lets through at the file's average record size, far fewer than the small
    // records after the large ones.
    {"SmallRecordsAfterLargeOnes",
     [](const TempDir& dir) {
         return built(dir, {varyingSizes(0), builder(Format::B4, 10)});
     }},
    {"SmallRecordsAfterLargeOnesIndexEndingEarly",
     [](const TempDir& dir) {
         return built(dir, {varyingSizes(5000), builder(Format::B4, 10)});
     }},
    {"StartAndCountAcrossInputs",
     [](const TempDir& dir) {
         return built(dir, {builder(Format::B3, 2500), builder(Format::B4, 3000)});
     },
     2345, 3001},
    {"SizeLimitCutsTheRun",
     [](const TempDir& dir) {
         return built(dir, {builder(Format::B3, 3000), builder(Format::B3, 3000)});
     },
     1, 0, 200000},
};

// The output with its creation time blanked, and the console.
struct Result {
    Bytes output;
    std::string console;
    uint32_t count = 0;
};

Result merge(const std::vector<std::string>& inputs, const Scenario& s, bool bulk,
             const std::string& out) {
    RunSettings settings;
    settings.inputFileNames = inputs;
    settings.outputFileName = out;
    settings.startRecord = s.start;
    settings.recordLimit = s.limit;
    Result result;
    {
        ConsoleCapture console;
        AppendRun run(settings);
        run.setBulkCopy(bulk);
        if (s.sizeLimit != 0) {
            run.setOutputSizeLimit(s.sizeLimit);
        }
        EXPECT_TRUE(run.openAllInputs());
        EXPECT_TRUE(run.openOutputFile());
        run.convertRecords(result.count);
        run.cleanUp();
        result.console = console.text();
    }
    result.output = readFile(out);
    const std::string marker = "#Date created: ";
    const auto at =
        std::search(result.output.begin(), result.output.end(), marker.begin(), marker.end());
    if (at != result.output.end()) {
        std::fill(at, at + static_cast<std::ptrdiff_t>(marker.size() + 24), '-');
    }
    return result;
}

class BulkCopyTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(BulkCopyTest, OutputIsTheRecordByRecordOutput) {
    TempDir dir;
    const std::vector<std::string> inputs = GetParam().inputs(dir);
    const Result slow = merge(inputs, GetParam(), false, dir.file("o.cap"));
    removeFile(dir.file("o.cap"));
    const Result fast = merge(inputs, GetParam(), true, dir.file("o.cap"));
    ASSERT_GT(slow.count, 0u);
    EXPECT_EQ(fast.count, slow.count);
    EXPECT_EQ(fast.console, slow.console);
    EXPECT_EQ(fast.output.size(), slow.output.size());
    EXPECT_TRUE(fast.output == slow.output) << "the outputs differ";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, BulkCopyTest, ::testing::ValuesIn(kScenarios),
                         ::testing::PrintToStringParamName());

}  // namespace
