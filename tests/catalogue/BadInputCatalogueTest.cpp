// The catalogue of damaged inputs (support/BadInputCatalogue.h) against the programs. For
// every case the file's own reader must refuse it with the right code or deliver an early
// (never a wrong) end of its records, nothing may crash or read outside a buffer, a merge of
// the damaged file with a good one must give an output that reads back cleanly with exactly
// the records the readers delivered, and no input may change.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "splicetrc/AppendRun.h"
#include "splicetrc/RunSettings.h"
#include "support/BadInputCatalogue.h"
#include "support/CaptureFileBuilder.h"
#include "support/PcapReadBack.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"
#include "trc2pcap/ExportRun.h"
#include "trcedit/ChunkedOutput.h"
#include "trcedit/EditRun.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/JsonPresenter.h"

using namespace testsupport;
using xcf::layout::kIndexEntrySize;

namespace {

constexpr size_t kOffsetToIndex = 27;
constexpr uint32_t kRecordCount = 3;

bool timeOfDayInRange(const CXcfTimeOfDay& t) {
    return t.getHours() <= 23 && t.getMinutes() <= 59 && t.getMillisecondsOfMinute() <= 59999;
}

class BadInputCatalogue : public testing::TestWithParam<Format> {
  protected:
    void SetUp() override {
        sample = makeCatalogueSample(GetParam());
        writeFile(dir.file("sample.cap"), sample.bytes);
        ASSERT_EQ(readBack(dir.file("sample.cap")).records, sample.records);
        SampleOptions options;
        options.records = 2;
        options.tag = 9;
        good = writeSample(goodPath, options);
        goodBytes = readFile(goodPath);
    }

    void TearDown() override {
        std::cout << "[ catalogue] "
                  << testing::UnitTest::GetInstance()->current_test_info()->name() << ": " << cases
                  << " cases\n";
        RecordProperty("cases", static_cast<int>(cases));
    }

    // Every case of one kind of damage, each on its own.
    void checkAll(DamageKind kind) {
        for (const DamagedCase& c : damagedCases(sample, kind)) {
            SCOPED_TRACE(c.name);
            check(c.bytes, c.expected);
            if (HasFatalFailure()) {
                return;
            }
        }
    }

    // Runs one case: the damaged bytes against the expectation, then a merge when it opens.
    void check(const Bytes& damaged, const Expected& expected) {
        ++cases;
        const std::string path = dir.file("bad.cap");
        writeFile(path, damaged);

        auto reader = makeReader(sample.format);
        const bool opened = reader->open(path);
        if (expected.refusedWith != 0) {
            EXPECT_FALSE(opened);
            EXPECT_EQ(reader->lastErrorCode, expected.refusedWith);
        } else {
            ASSERT_TRUE(opened) << "refused with code " << reader->lastErrorCode;
            EXPECT_TRUE(timeOfDayInRange(reader->captureStartTimeOfDay));
            EXPECT_TRUE(timeOfDayInRange(reader->captureStopTimeOfDay));
            EXPECT_LT(reader->captureStopTimestamp.getNanoseconds(), 1000000000);
            EXPECT_LE(reader->getSourceName(0).size(), 126u);
        }
        reader->close();

        {
            CXcfCaptureFileParserFactory factory;
            std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
            EXPECT_EQ(parser != nullptr, opened);
            if (!parser) {
                // The last reader tried speaks for the factory.
                CXcfTcpdumpFileParser tcpdump;
                EXPECT_FALSE(tcpdump.open(path));
                EXPECT_EQ(factory.lastErrorCode, tcpdump.lastErrorCode);
            }
        }

        if (opened) {
            checkRecordTimes(path);
            const ReadBack delivered = readBack(path);
            ASSERT_TRUE(delivered.opened);
            EXPECT_EQ(delivered.formatCode, formatCode(sample.format));
            EXPECT_GE(delivered.records.size(), expected.minRecords);
            EXPECT_LE(delivered.records.size(), expected.maxRecords);
            if (expected.intact) {
                for (size_t i = 0; i < delivered.records.size(); ++i) {
                    EXPECT_EQ(delivered.records[i], sample.records.at(i)) << "record " << i + 1;
                }
            }
            checkMerge(path, delivered.records);
            checkExport(path, delivered.records);
            checkStatistics(path, delivered.records);
            checkEdit(path, delivered.records);
        }
        EXPECT_EQ(readFile(path), damaged) << "the damaged input was changed";
    }

    // Each record's time is had alone exactly when the record reads, with the same code.
    void checkRecordTimes(const std::string& badPath) {
        auto reader = makeReader(sample.format);
        auto timer = makeReader(sample.format);
        ASSERT_TRUE(reader->open(badPath));
        ASSERT_TRUE(timer->open(badPath));
        CXcfCaptureRecord record;
        // A count that lies may claim billions: the first records and those at its end.
        std::vector<uint64_t> numbers;
        for (uint64_t n = 0; n <= kRecordCount + 2; ++n) {
            numbers.push_back(n);
            if (n <= uint64_t{reader->numberOfRecords} + 1) {
                numbers.push_back(uint64_t{reader->numberOfRecords} + 1 - n);
            }
        }
        for (const uint64_t number : numbers) {
            const auto n = static_cast<uint32_t>(number);
            reader->lastErrorCode = 0;
            timer->lastErrorCode = 0;
            uint32_t seconds = 0;
            uint32_t nanoseconds = 0;
            const bool read = reader->readRecord(n, record);
            ASSERT_EQ(timer->readRecordTime(n, seconds, nanoseconds), read) << "record " << n;
            EXPECT_EQ(timer->lastErrorCode, reader->lastErrorCode) << "record " << n;
            if (read) {
                EXPECT_EQ(uint64_t{seconds} << 32 | nanoseconds,
                          uint64_t{record.getTimestampSeconds()} << 32 |
                              record.getTimestampNanoseconds());
            }
        }
    }

    // The damaged file first, a good B3 file second, merged in-process.
    void checkMerge(const std::string& badPath, const std::vector<RecordCopy>& delivered) {
        const std::string outPath = dir.file("merged.cap");
        removeFile(outPath);
        RunSettings settings;
        settings.inputFileNames = {badPath, goodPath};
        settings.outputFileName = outPath;
        uint32_t count = 0;
        bool converted = false;
        {
            ConsoleCapture silent;
            AppendRun run(settings);
            ASSERT_TRUE(run.openAllInputs());
            ASSERT_TRUE(run.openOutputFile());
            converted = run.convertRecords(count);
            run.cleanUp();
        }
        const Format outFormat = sample.format;
        std::vector<RecordCopy> expected;
        for (const RecordCopy& r : delivered) {
            expected.push_back(asOutputRecord(r, sample.format, outFormat));
        }
        for (const RecordCopy& r : good) {
            expected.push_back(asOutputRecord(r, Format::B3, outFormat));
        }
        EXPECT_TRUE(converted);
        EXPECT_EQ(count, expected.size());

        const ReadBack out = readBack(outPath);
        ASSERT_TRUE(out.opened);
        EXPECT_EQ(out.formatCode, formatCode(outFormat));
        EXPECT_EQ(out.numberOfRecords, expected.size());
        EXPECT_EQ(out.triggerPacketNumber, expected.size() - 1);
        EXPECT_EQ(out.records, expected);
        EXPECT_LE(out.sourceName0.size(), 120u);
        // Header, records and index entries, and nothing else.
        const Bytes merged = readFile(outPath);
        EXPECT_EQ(be32At(merged, kOffsetToIndex) + kIndexEntrySize * expected.size(),
                  merged.size());
        EXPECT_FALSE(fileExists(outPath + ".idx"));
        EXPECT_EQ(readFile(goodPath), goodBytes) << "the good input was changed";
    }

    // The damaged file first, the good file second, exported in-process to pcapng (one link
    // type for all, whatever the damaged layer-2 codes say) and read back through libpcap.
    void checkExport(const std::string& badPath, const std::vector<RecordCopy>& delivered) {
        ExportSettings settings;
        settings.inputFileNames = {badPath, goodPath};
        settings.outputFileName = dir.file("exported.pcapng");
        settings.linkTypeGiven = true;
        settings.linkType = 1;
        removeFile(settings.outputFileName);
        uint64_t count = 0;
        {
            ConsoleCapture silent;
            ExportRun run(settings);
            ASSERT_TRUE(run.openAllInputs());
            ASSERT_TRUE(run.prepareOutput());
            EXPECT_TRUE(run.exportRecords(count));
            run.cleanUp();
        }
        std::vector<Bytes> frames;
        for (const RecordCopy& r : delivered) {
            frames.push_back(r.frame);
        }
        for (const RecordCopy& r : good) {
            frames.push_back(r.frame);
        }
        EXPECT_EQ(count, frames.size());
        const PcapFile file = readPcap(settings.outputFileName);
        ASSERT_TRUE(file.opened) << file.error;
        EXPECT_EQ(file.error, "");
        ASSERT_EQ(file.packets.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(file.packets[i].bytes, frames[i]) << "packet " << i;
        }
    }

    // trcinfo's pass over the records covers exactly those a reader delivers, and its JSON
    // parses back.
    void checkStatistics(const std::string& badPath, const std::vector<RecordCopy>& delivered) {
        auto reader = makeReader(sample.format);
        ASSERT_TRUE(reader->open(badPath));
        CaptureStatistics stats;
        ReadStop stop;
        const bool complete = FileInspector::gatherStatistics(*reader, stats, stop);
        EXPECT_EQ(stats.records, delivered.size());
        EXPECT_EQ(complete, delivered.size() == reader->numberOfRecords);
        uint64_t bytes = 0;
        for (const RecordCopy& r : delivered) {
            bytes += r.frame.size();
        }
        EXPECT_EQ(stats.frameBytes, bytes);
        const std::string json = JsonPresenter::text(JsonPresenter::statistics(*reader, stats));
        EXPECT_FALSE(JsonPresenter::Json::parse(json, nullptr, false).is_discarded()) << json;
    }

    // The damaged file and the good file merged by trcedit in time order, in chunks of three
    // records: joined, the chunks hold a stable sort by time of what the readers deliver.
    void checkEdit(const std::string& badPath, const std::vector<RecordCopy>& delivered) {
        EditSettings settings;
        settings.inputFileNames = {badPath, goodPath};
        settings.outputFileName = dir.file("edited.cap");
        settings.sort = true;
        settings.split = SplitKind::kRecords;
        settings.splitValue = 3;
        uint64_t count = 0;
        size_t files = 0;
        {
            ConsoleCapture silent;
            EditRun run(settings);
            ASSERT_TRUE(run.openAllInputs());
            ASSERT_TRUE(run.prepareOutput());
            EXPECT_TRUE(run.editRecords(count, files));
            run.cleanUp();
        }
        std::vector<RecordCopy> expected;
        for (const RecordCopy& r : delivered) {
            expected.push_back(asOutputRecord(r, sample.format, sample.format));
        }
        for (const RecordCopy& r : good) {
            expected.push_back(asOutputRecord(r, Format::B3, sample.format));
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const RecordCopy& a, const RecordCopy& b) {
                             return uint64_t{a.seconds} * 1000000000 + a.nanoseconds <
                                    uint64_t{b.seconds} * 1000000000 + b.nanoseconds;
                         });
        EXPECT_EQ(count, expected.size());
        std::vector<RecordCopy> joined;
        for (size_t chunk = 1; chunk <= files; ++chunk) {
            const std::string name = ChunkedOutput::chunkName(settings.outputFileName, chunk);
            const ReadBack back = readBack(name);
            EXPECT_TRUE(back.opened) << name;
            joined.insert(joined.end(), back.records.begin(), back.records.end());
            removeFile(name);
        }
        EXPECT_EQ(joined, expected);
    }

    TempDir dir;
    CatalogueSample sample;
    std::string goodPath = dir.file("good.cap");
    std::vector<RecordCopy> good;
    Bytes goodBytes;
    size_t cases = 0;
};

TEST_P(BadInputCatalogue, TruncatedAtEveryInterestingLength) {
    checkAll(DamageKind::kTruncated);
}

TEST_P(BadInputCatalogue, FixedHeaderFieldsThatLie) {
    checkAll(DamageKind::kFixedHeaderFields);
}

TEST_P(BadInputCatalogue, RecordTypesWithoutALayout) {
    checkAll(DamageKind::kRecordTypes);
}

TEST_P(BadInputCatalogue, CountedLengthsThatLie) {
    checkAll(DamageKind::kCountedLengths);
}

TEST_P(BadInputCatalogue, CaptureTimesOutOfRange) {
    checkAll(DamageKind::kCaptureTimes);
}

TEST_P(BadInputCatalogue, IndexEntriesThatLie) {
    checkAll(DamageKind::kIndexEntries);
}

INSTANTIATE_FOR_BOTH_FORMATS(BadInputCatalogue);

}  // namespace
