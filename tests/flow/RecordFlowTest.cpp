// The record flow every program shares: which records a source hands out and in what order,
// where a damaged input ends, and that the pump gives a sink the same records whether they
// travel in runs (taken whole, in part, or not at all) or one by one.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "flow/FileOrderSource.h"
#include "flow/RecordPump.h"
#include "flow/TimeOrderSource.h"
#include "support/CaptureFileBuilder.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

using Readers = std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>;
using Delivered = std::vector<std::pair<size_t, uint32_t>>;  // input, record number

struct Input {
    std::vector<uint32_t> nanoseconds;  // the records' times, in file order
    uint32_t damagedAt = 0;             // a record too short to read (not the last), or 0
    bool b4 = false;
};

Readers openInputs(const TempDir& dir, const std::vector<Input>& inputs) {
    Readers readers;
    for (size_t i = 0; i < inputs.size(); ++i) {
        CaptureFileBuilder b = inputs[i].b4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
        for (uint32_t ns : inputs[i].nanoseconds) {
            const Bytes frame = CaptureFileBuilder::pattern(30 + ns % 7, static_cast<uint8_t>(ns));
            b.records.push_back(
                inputs[i].b4 ? CaptureFileBuilder::b4Record(1, ns, 1, 0, 2, kZeroWords, frame)
                             : CaptureFileBuilder::b3Record(1, ns, 2, kZeroWords, frame));
        }
        const std::string name = dir.file("in" + std::to_string(i) + ".cap");
        const CaptureFileLayout layout = b.writeTo(name);
        if (const uint32_t bad = inputs[i].damagedAt; bad != 0) {
            // The next record starts 5 bytes into it.
            b.indexOverrides = {{bad + 1, layout.recordOffsets[bad - 1] + 5}};
            b.writeTo(name);
        }
        CXcfCaptureFileParserFactory factory;
        std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(name);
        auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(parser.get());
        EXPECT_NE(family, nullptr) << name;
        parser.release();
        readers.emplace_back(family);
    }
    return readers;
}

struct Drained {
    Delivered records;
    Delivered damage;  // input, first record that could not be read
};

Drained drain(flow::RecordSource& source, const Readers& readers) {
    Drained out;
    source.reportDamageWith(
        [&out, &readers](const CXcfPmCaptureFileParser& reader, uint32_t record) {
            for (size_t i = 0; i < readers.size(); ++i) {
                if (readers[i].get() == &reader) {
                    out.damage.emplace_back(i, record);
                }
            }
        });
    while (source.next() != nullptr) {
        out.records.emplace_back(source.origin().input, source.origin().number);
    }
    return out;
}

struct SourceCase {
    std::string name;
    std::vector<Input> inputs;
    Delivered fileOrder;
    Delivered timeOrder;
    Delivered damage;
};

void PrintTo(const SourceCase& c, std::ostream* os) {
    *os << c.name;
}

class Sources : public ::testing::TestWithParam<SourceCase> {};

TEST_P(Sources, HandOutEveryReadableRecordInTheirOrder) {
    const SourceCase& c = GetParam();
    TempDir dir;
    {
        Readers readers = openInputs(dir, c.inputs);
        flow::FileOrderSource source(readers);
        const Drained got = drain(source, readers);
        EXPECT_EQ(got.records, c.fileOrder);
        EXPECT_EQ(got.damage, c.damage);
    }
    // Times read from runs of the records' bytes, and record by record.
    for (const bool runs : {true, false}) {
        SCOPED_TRACE(runs ? "times in runs" : "times record by record");
        Readers readers = openInputs(dir, c.inputs);
        flow::TimeOrderSource source(readers);
        source.useRuns(runs);
        const Drained got = drain(source, readers);
        EXPECT_EQ(got.records, c.timeOrder);
        EXPECT_EQ(got.damage, c.damage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flow, Sources,
    ::testing::Values(
        SourceCase{"InterleavedInputsInOrder",
                   {{{10, 30, 50}}, {{20, 40}, 0, true}},
                   {{0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}},
                   {{0, 1}, {1, 1}, {0, 2}, {1, 2}, {0, 3}},
                   {}},
        // Equal times keep the order of the inputs, then of the records, also in an input
        // that is read through its index.
        SourceCase{"TiesAreStable",
                   {{{5, 5, 7}}, {{7, 5, 5}}},
                   {{0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}, {1, 3}},
                   {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {0, 3}, {1, 1}},
                   {}},
        // The step back comes late: the records before it were taken as in order.
        SourceCase{"OutOfOrderLate",
                   {{{1, 2, 3, 4, 0}}},
                   {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}},
                   {{0, 5}, {0, 1}, {0, 2}, {0, 3}, {0, 4}},
                   {}},
        // Ten lanes going forwards would be needed: read by number instead.
        SourceCase{"ReversedInputReadByNumber",
                   {{{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}}, {{4}}},
                   {{0, 1},
                    {0, 2},
                    {0, 3},
                    {0, 4},
                    {0, 5},
                    {0, 6},
                    {0, 7},
                    {0, 8},
                    {0, 9},
                    {0, 10},
                    {1, 1}},
                   {{0, 10},
                    {0, 9},
                    {0, 8},
                    {0, 7},
                    {0, 6},
                    {1, 1},
                    {0, 5},
                    {0, 4},
                    {0, 3},
                    {0, 2},
                    {0, 1}},
                   {}},
        // Three time lines one after another, one with a tie across lanes.
        SourceCase{"ThreeLanes",
                   {{{10, 20, 30, 11, 21, 31, 12, 20, 32}}},
                   {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {0, 9}},
                   {{0, 1}, {0, 4}, {0, 7}, {0, 2}, {0, 8}, {0, 5}, {0, 3}, {0, 6}, {0, 9}},
                   {}},
        SourceCase{"DamagedInputEndsBeforeItsBadRecord",
                   {{{9, 1, 5, 3}, 3}, {{2}}},
                   {{0, 1}, {0, 2}, {1, 1}},
                   {{0, 2}, {1, 1}, {0, 1}},
                   {{0, 3}}},
        SourceCase{"DamagedFirstRecord", {{{4, 2}, 1, true}, {{3}}}, {{1, 1}}, {{1, 1}}, {{0, 1}}},
        SourceCase{"NoRecords", {{{}}, {{}}}, {}, {}, {}}));

// More inputs out of order than there may be readers of their own: the last ones are read by
// number, in the same order.
TEST(Sources, InputsBeyondTheReadersOfTheirOwnAreReadByNumber) {
    TempDir dir;
    const size_t inputs = flow::TimeOrderSource::kMaxExtraLanes + 6;
    Readers readers = openInputs(dir, std::vector<Input>(inputs, Input{{2, 1, 3}}));
    flow::TimeOrderSource source(readers);
    Delivered expected;
    for (uint32_t number : {2u, 1u, 3u}) {
        for (size_t i = 0; i < inputs; ++i) {
            expected.emplace_back(i, number);
        }
    }
    EXPECT_EQ(drain(source, readers).records, expected);
    EXPECT_EQ(source.lanesOf(0), 2u);
    EXPECT_EQ(source.lanesOf(inputs - 1), 1u);
}

// However small each reader's share of the read-ahead, every record comes whole: records
// larger than a block, straddling blocks, and read through lanes.
TEST(Sources, SmallReadAheadSharesGiveTheSameRecords) {
    TempDir dir;
    for (size_t i = 0; i < 3; ++i) {
        CaptureFileBuilder b;
        for (uint32_t r = 0; r < 40; ++r) {
            // Input 2 steps back half-way: it is read in lanes.
            const uint32_t ns = i == 2 && r >= 20 ? 3 * (r - 20) : 3 * r + static_cast<uint32_t>(i);
            const size_t length = r % 5 == 0 ? 9000 + r : 700 + 13 * r;
            b.records.push_back(CaptureFileBuilder::b3Record(
                1, ns, 2, kZeroWords,
                CaptureFileBuilder::pattern(length, static_cast<uint8_t>(r))));
        }
        b.writeTo(dir.file("in" + std::to_string(i) + ".cap"));
    }
    auto frames = [&dir](size_t budget) {
        Readers readers;
        for (size_t i = 0; i < 3; ++i) {
            CXcfCaptureFileParserFactory factory;
            auto parser = factory.createParser(dir.file("in" + std::to_string(i) + ".cap"));
            readers.emplace_back(dynamic_cast<CXcfPmCaptureFileParser*>(parser.release()));
        }
        flow::TimeOrderSource source(readers);
        source.shareReadAhead(budget);
        std::vector<Bytes> got;
        while (const CXcfCaptureRecord* record = source.next()) {
            got.emplace_back(record->getFrame(),
                             record->getFrame() + record->getFrameStoredLength());
        }
        return got;
    };
    const std::vector<Bytes> usual = frames(flow::TimeOrderSource::kReadAheadBudget);
    EXPECT_EQ(usual.size(), 120u);
    EXPECT_EQ(frames(1), usual);
}

// A sink that takes runs in part (taking records one by one the same way) and writes down
// what it got.
class Recording : public flow::RecordSink {
  public:
    Recording(uint64_t runBytes, uint32_t takesOfARun) : bytes(runBytes), takes(takesOfARun) {}

    bool take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) override {
        got.emplace_back(origin.input, origin.number);
        times.push_back(record.getTimestampNanoseconds());
        return refuseAfter == 0 || got.size() < refuseAfter;
    }
    uint64_t runBytes(flow::CaptureFormat) const override { return bytes; }
    uint32_t takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) override {
        stop = false;
        const uint32_t taken = std::min(run.count(), takes);
        for (uint32_t i = 0; i < taken; ++i) {
            got.emplace_back(origin.input, origin.number + i);
        }
        ++runs;
        return taken;
    }

    Delivered got;
    std::vector<uint32_t> times;
    uint64_t bytes;
    uint32_t takes;
    size_t refuseAfter = 0;
    int runs = 0;
};

struct PumpCase {
    std::string name;
    uint64_t start;
    uint64_t limit;
    uint64_t runBytes;
    uint32_t takesOfARun;
};

void PrintTo(const PumpCase& c, std::ostream* os) {
    *os << c.name;
}

class Pump : public ::testing::TestWithParam<PumpCase> {};

// Whatever a sink takes of a run, it gets exactly the records of a pump without runs, each
// once, in the same order, and the count it took.
TEST_P(Pump, GivesTheSameRecordsWithAndWithoutRuns) {
    const PumpCase& c = GetParam();
    TempDir dir;
    std::vector<uint32_t> times;
    for (uint32_t i = 0; i < 300; ++i) {
        times.push_back(i);
    }
    const std::vector<Input> inputs = {{times}, {times, 0, true}, {{1, 2, 3}, 2}, {times}};
    auto pumped = [&](bool runs) {
        Readers readers = openInputs(dir, inputs);
        flow::FileOrderSource source(readers);
        source.reportDamageWith([](const CXcfPmCaptureFileParser&, uint32_t) {});
        Recording sink(c.runBytes, c.takesOfARun);
        flow::RecordPump pump(source, sink);
        pump.startAt(c.start);
        pump.limitTo(c.limit);
        pump.useRuns(runs);
        pump.run();
        EXPECT_EQ(pump.taken(), sink.got.size());
        return std::make_pair(sink.got, sink.runs);
    };
    const auto oneByOne = pumped(false);
    const auto inRuns = pumped(true);
    EXPECT_EQ(inRuns.first, oneByOne.first);
    EXPECT_EQ(oneByOne.second, 0);
}

INSTANTIATE_TEST_SUITE_P(Flow, Pump,
                         ::testing::Values(PumpCase{"WholeRuns", 1, 0, 1 << 20, 100000},
                                           PumpCase{"RunsTakenInPart", 1, 0, 1 << 20, 7},
                                           PumpCase{"RunsRefused", 1, 0, 1 << 20, 0},
                                           PumpCase{"NoRunBytes", 1, 0, 0, 100000},
                                           PumpCase{"SmallRunBytes", 1, 0, 500, 100000},
                                           PumpCase{"StartInsideTheSecondInput", 420, 0, 1 << 20,
                                                    100000},
                                           PumpCase{"StartAndCount", 250, 123, 1 << 20, 9},
                                           PumpCase{"StartPastTheEnd", 5000, 0, 1 << 20, 5}));

// A filter's rejected records do not count towards the start, and a sink that refuses a
// record ends the run there.
TEST(Pump, FiltersBeforeCountingAndStopsWhereTheSinkRefuses) {
    TempDir dir;
    Readers readers = openInputs(dir, {{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}});
    flow::FileOrderSource source(readers);
    Recording sink(1 << 20, 100);
    sink.refuseAfter = 3;
    flow::RecordPump pump(source, sink);
    pump.startAt(2);
    pump.filterWith(
        [](const CXcfCaptureRecord& r) { return r.getTimestampNanoseconds() % 2 == 0; });
    EXPECT_EQ(pump.run(), flow::RecordPump::End::kSinkStopped);
    EXPECT_EQ(sink.times, (std::vector<uint32_t>{4, 6, 8}));
    EXPECT_EQ(pump.taken(), 2u);
}

}  // namespace
