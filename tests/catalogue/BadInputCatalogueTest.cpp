// A catalogue of damaged inputs: a small valid B3 file and a small valid B4 file, cut short at
// every interesting length and with each header field, table entry, index entry and counted
// length replaced by values that lie. For every case the file's own reader must refuse it with
// the right code or deliver an early (never a wrong) end of its records, nothing may crash or
// read outside a buffer, a merge of the damaged file with a good one must give an output that
// reads back cleanly with exactly the records the readers delivered, and no input may change.
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

constexpr int32_t kShortRead = CXcfCaptureFileCommon::kErrorCorruptFile;
constexpr int32_t kNotRecognised = CXcfCaptureFileCommon::kErrorFormatNotRecognised;
constexpr int32_t kBadHeader = CXcfCaptureFileCommon::kErrorCorruptHeader;

// Field positions that every tester-family file shares.
constexpr size_t kNumberOfRecords = 13;
constexpr size_t kRecordLength = 17;
constexpr size_t kMasterFormatFlags = 21;
constexpr size_t kOffsetToData = 23;
constexpr size_t kOffsetToIndex = 27;
constexpr size_t kRecordTypeEntry0 = CaptureFileLayout::kRecordTypeTable;
constexpr size_t kSourceSlot0 = CaptureFileLayout::kSourceNameTable;
constexpr size_t kHeaderString = CaptureFileLayout::kHeaderString;
constexpr uint32_t kRecordCount = 3;

// What a damaged file must give: refused by its reader with a code, or opened with some of
// its records delivered.
struct Expected {
    int32_t refusedWith = 0;  // 0: the file opens
    size_t minRecords = 0;
    size_t maxRecords = 0;
    bool intact = true;  // the records delivered are the original's first ones, unchanged

    static Expected refused(int32_t code) { return {code, 0, 0, true}; }
    static Expected opens(size_t records) { return {0, records, records, true}; }
    static Expected upTo(size_t records) { return {0, 0, records, true}; }
    // Opens and delivers records whose contents follow from the damaged values, not the
    // original's.
    static Expected reshaped(size_t records) { return {0, records, records, false}; }
};

// A header field of `width` bytes (2 or 4) at `at` set to `value`.
struct FieldCase {
    const char* field;
    size_t at;
    size_t width;
    uint32_t value;
    Expected expected;
};

bool timeOfDayInRange(const CXcfTimeOfDay& t) {
    return t.getHours() <= 23 && t.getMinutes() <= 59 && t.getMillisecondsOfMinute() <= 59999;
}

struct Sample {
    Format format;
    Bytes bytes;
    CaptureFileLayout layout;
    std::vector<RecordCopy> records;  // as the reader must deliver them
};

Sample makeSample(Format format, const std::string& path) {
    const bool b4 = format == Format::B4;
    CaptureFileBuilder builder = b4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    // The text header starts with "#T": read from one or two bytes too early, its characters
    // make a length of over 9000 bytes, more than the rest of the file holds.
    builder.headerString = "#Test header\n";
    builder.sourceNames[0] = b4 ? "ETH,2/3,Rx" : "POS,1A,Rx";
    Sample sample;
    sample.format = format;
    for (uint32_t k = 1; k <= kRecordCount; ++k) {
        RecordCopy r;
        // Out of time order (102, 100, 101): a time-ordered merge must index the file and
        // read its records again by number, after whatever read failed.
        r.seconds = 100 + (k + 1) % kRecordCount;
        r.nanoseconds = 1000 * k;
        r.layer2Type = 2;
        r.extension = CaptureFileBuilder::pattern(xcf::layout::kExtensionWordsSize,
                                                  static_cast<uint8_t>(0xE0 + k));
        r.frame = CaptureFileBuilder::pattern(20 + 5 * k, static_cast<uint8_t>(k));
        if (b4) {
            r.portByte =
                static_cast<uint8_t>(k == 2 ? xcf::layout::kDamagedFrameBit | 5 : 0x20 + k);
            r.frameGood = (r.portByte & xcf::layout::kDamagedFrameBit) == 0;
            r.statusByte = static_cast<uint8_t>(0x10 + k);
            builder.records.push_back(
                CaptureFileBuilder::b4Record(r.seconds, r.nanoseconds, r.portByte, r.statusByte,
                                             r.layer2Type, r.extension, r.frame));
        } else {
            builder.records.push_back(CaptureFileBuilder::b3Record(
                r.seconds, r.nanoseconds, r.layer2Type, r.extension, r.frame));
        }
        sample.records.push_back(r);
    }
    sample.bytes = builder.build(&sample.layout);
    writeFile(path, sample.bytes);
    return sample;
}

class BadInputCatalogue : public testing::TestWithParam<Format> {
  protected:
    void SetUp() override {
        sample = makeSample(GetParam(), dir.file("sample.cap"));
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

    size_t fileSize() const { return sample.bytes.size(); }
    uint32_t offsetOfRecord(uint32_t k) const { return sample.layout.recordOffsets.at(k - 1); }

    // Runs one case: the damaged bytes against the expectation, then a merge when it opens.
    // Each field case applied on its own to the sample.
    void checkFields(const std::vector<FieldCase>& fieldCases) {
        for (const FieldCase& c : fieldCases) {
            SCOPED_TRACE(std::string(c.field) + " = " + std::to_string(c.value));
            Bytes damaged = sample.bytes;
            putAt(damaged, c.at, c.width, c.value);
            check(damaged, c.expected);
        }
    }

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
    Sample sample;
    std::string goodPath = dir.file("good.cap");
    std::vector<RecordCopy> good;
    Bytes goodBytes;
    size_t cases = 0;
};

// What the file's reader must do with the file cut to `length` bytes.
Expected forTruncation(size_t length, const CaptureFileLayout& layout, size_t fullSize) {
    if (length < 8) {
        return Expected::refused(kShortRead);  // signature or format code incomplete
    }
    if (length < 13) {
        return Expected::refused(kNotRecognised);  // version text incomplete
    }
    if (length < layout.index) {
        return Expected::refused(kBadHeader);  // header incomplete, or the index lies beyond
    }
    if (length == fullSize) {
        return Expected::opens(kRecordCount);
    }
    // The index is cut: a record's length needs the next record's entry.
    const size_t wholeEntries = (length - layout.index) / kIndexEntrySize;
    return Expected::upTo(wholeEntries == 0 ? 0 : wholeEntries - 1);
}

TEST_P(BadInputCatalogue, TruncatedAtEveryInterestingLength) {
    std::vector<size_t> lengths;
    // Every length through the prefix, the fixed header and into the record type table.
    for (size_t n = 0; n < 200; ++n) {
        lengths.push_back(n);
    }
    // A stride through the big tables, not a multiple of the source name slot size.
    for (size_t n = 200; n < kHeaderString; n += 127) {
        lengths.push_back(n);
    }
    // Every length from the end of the tables on: counted strings, capture times, records,
    // index.
    for (size_t n = kHeaderString - 8; n <= fileSize(); ++n) {
        lengths.push_back(n);
    }
    for (size_t length : lengths) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        Bytes cut(sample.bytes.begin(), sample.bytes.begin() + length);
        check(cut, forTruncation(length, sample.layout, fileSize()));
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST_P(BadInputCatalogue, FixedHeaderFieldsThatLie) {
    const uint32_t pastEnd = static_cast<uint32_t>(fileSize() + 1);
    const std::vector<FieldCase> cases = {
        // No records but an index: the layout check refuses it.
        {"numberOfRecords", kNumberOfRecords, 4, 0, Expected::refused(kBadHeader)},
        // One record: it runs up to the index, swallowing the other two.
        {"numberOfRecords", kNumberOfRecords, 4, 1, Expected::reshaped(1)},
        // More records than the index holds: entries past its end do not exist.
        {"numberOfRecords", kNumberOfRecords, 4, 0xFFFFFFFF, Expected::upTo(kRecordCount)},
        {"numberOfRecords", kNumberOfRecords, 4, pastEnd, Expected::upTo(kRecordCount)},
        {"numberOfRecords", kNumberOfRecords, 4, 0x80000000, Expected::upTo(kRecordCount)},
        {"recordLength", kRecordLength, 4, 0, Expected::opens(kRecordCount)},
        // Records of one byte hold no fields.
        {"recordLength", kRecordLength, 4, 1, Expected::opens(0)},
        {"recordLength", kRecordLength, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
        {"recordLength", kRecordLength, 4, pastEnd, Expected::refused(kBadHeader)},
        {"masterFormatFlags", kMasterFormatFlags, 2, 0, Expected::opens(kRecordCount)},
        {"masterFormatFlags", kMasterFormatFlags, 2, 1, Expected::opens(kRecordCount)},
        {"masterFormatFlags", kMasterFormatFlags, 2, 0xFFFF, Expected::opens(kRecordCount)},
        {"masterFormatFlags", kMasterFormatFlags, 2, pastEnd, Expected::opens(kRecordCount)},
        {"offsetToData", kOffsetToData, 4, 0, Expected::refused(kBadHeader)},
        // The index still finds every record, and each lies after this start.
        {"offsetToData", kOffsetToData, 4, 1, Expected::opens(kRecordCount)},
        {"offsetToData", kOffsetToData, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
        {"offsetToData", kOffsetToData, 4, pastEnd, Expected::refused(kBadHeader)},
        // Without an index no record can be found.
        {"offsetToIndex", kOffsetToIndex, 4, 0, Expected::opens(0)},
        {"offsetToIndex", kOffsetToIndex, 4, 1, Expected::refused(kBadHeader)},
        {"offsetToIndex", kOffsetToIndex, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
        {"offsetToIndex", kOffsetToIndex, 4, pastEnd, Expected::refused(kBadHeader)},
    };
    checkFields(cases);
}

TEST_P(BadInputCatalogue, RecordTypesWithoutALayout) {
    const bool b4 = sample.format == Format::B4;
    const uint32_t pastEnd = static_cast<uint32_t>(fileSize() + 1);
    struct Case {
        uint32_t type;
        Expected expected;
    };
    // A B3 file of type 0 to 2 still has a layout: the extension shrinks and the frame grows.
    // A B4 reader reads only the type with all three single-byte fields.
    const std::vector<Case> cases = {
        {0, b4 ? Expected::opens(0) : Expected::reshaped(kRecordCount)},
        {1, b4 ? Expected::opens(0) : Expected::reshaped(kRecordCount)},
        {5, Expected::opens(0)},
        {0xFFFF, Expected::opens(0)},
        {pastEnd & 0xFFFF, Expected::opens(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("record type " + std::to_string(c.type));
        Bytes damaged = sample.bytes;
        putAt(damaged, kRecordTypeEntry0, 2, c.type);
        check(damaged, c.expected);
    }
}

TEST_P(BadInputCatalogue, CountedLengthsThatLie) {
    const uint32_t pastEnd = static_cast<uint32_t>(fileSize() + 1);
    const size_t description = sample.layout.description;
    const std::vector<FieldCase> cases = {
        // Source name slot 0 holds 126 characters at most; longer lengths stay in the slot.
        {"source name length", kSourceSlot0, 2, 0, Expected::opens(kRecordCount)},
        {"source name length", kSourceSlot0, 2, 1, Expected::opens(kRecordCount)},
        {"source name length", kSourceSlot0, 2, 127, Expected::opens(kRecordCount)},
        {"source name length", kSourceSlot0, 2, 0xFFFF, Expected::opens(kRecordCount)},
        {"source name length", kSourceSlot0, 2, pastEnd, Expected::opens(kRecordCount)},
        // Too short: the text's first characters are read as the next length, too long.
        {"header string length", kHeaderString, 2, 0, Expected::refused(kBadHeader)},
        {"header string length", kHeaderString, 2, 1, Expected::refused(kBadHeader)},
        {"header string length", kHeaderString, 2, 0xFFFF, Expected::refused(kBadHeader)},
        {"header string length", kHeaderString, 2, pastEnd, Expected::refused(kBadHeader)},
        // Too short: the capture times come from the description's text; the records are
        // found through the header's offsets all the same.
        {"description length", description, 2, 0, Expected::opens(kRecordCount)},
        {"description length", description, 2, 1, Expected::opens(kRecordCount)},
        {"description length", description, 2, 0xFFFF, Expected::refused(kBadHeader)},
        {"description length", description, 2, pastEnd, Expected::refused(kBadHeader)},
    };
    checkFields(cases);
}

TEST_P(BadInputCatalogue, CaptureTimesOutOfRange) {
    const uint32_t pastEnd = static_cast<uint32_t>(fileSize() + 1);
    const size_t at = sample.layout.captureTimes;
    // Offset and width of each field of the capture times block.
    const std::vector<std::pair<size_t, size_t>> fields = {
        {0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 4},
    };
    for (const auto& [offset, width] : fields) {
        const uint32_t max = width == 2 ? 0xFFFF : 0xFFFFFFFF;
        for (uint32_t value : {0u, 1u, max, pastEnd}) {
            SCOPED_TRACE("capture times byte " + std::to_string(offset) + " = " +
                         std::to_string(value));
            Bytes damaged = sample.bytes;
            putAt(damaged, at + offset, width, value);
            check(damaged, Expected::opens(kRecordCount));
        }
    }
}

TEST_P(BadInputCatalogue, IndexEntriesThatLie) {
    const uint32_t dataStart = static_cast<uint32_t>(sample.layout.data);
    for (uint32_t k = 1; k <= kRecordCount; ++k) {
        const uint32_t previous = k == 1 ? offsetOfRecord(2) : offsetOfRecord(k - 1);
        struct Case {
            const char* kind;
            uint32_t value;
        };
        const std::vector<Case> cases = {
            {"into the header", 100},
            {"past the end", static_cast<uint32_t>(fileSize() + 10)},
            // Before the record in front of it (for record 1: before the data).
            {"backwards", k == 1 ? dataStart - 1 : previous - 1},
            // The same offset as its neighbour: a record of no bytes.
            {"duplicated", previous},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE("index entry " + std::to_string(k) + " " + c.kind);
            Bytes damaged = sample.bytes;
            putAt(damaged, sample.layout.index + kIndexEntrySize * (k - 1), 4, c.value);
            // Record k cannot be read, and neither can record k - 1, whose length ends at
            // entry k.
            check(damaged, Expected::opens(k >= 2 ? k - 2 : 0));
        }
    }
}

INSTANTIATE_FOR_BOTH_FORMATS(BadInputCatalogue);

}  // namespace
