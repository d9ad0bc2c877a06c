// The parser factory and every reader on arbitrary file bytes. Beyond "no crash, no read
// outside a buffer", it checks what the readers promise about the records they deliver: each
// lies inside the data section, its fields add up to its size, reading it by number, again,
// in order or after a second open gives the same record, and the input file is left as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "fuzz/FuzzSupport.h"
#include "record/CXcfCaptureRecord.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/JsonPresenter.h"

using namespace fuzzsupport;
using namespace testsupport;
namespace layout = xcf::layout;

namespace {

// Records tried at each end of the file; enough to cross an index window boundary while a
// run stays fast on files that claim millions of records.
constexpr uint32_t kRecordsTriedAtEachEnd = 300;

// Up to four record numbers from the last bytes of the data, so the fuzzer can steer them.
std::vector<uint32_t> numbersFrom(const uint8_t* data, size_t size) {
    std::vector<uint32_t> numbers;
    for (size_t end = size; end >= 4 && numbers.size() < 4; end -= 4) {
        const uint8_t* at = data + end - 4;
        numbers.push_back((uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) |
                          (uint32_t{at[2]} << 8) | at[3]);
    }
    return numbers;
}

// Bytes in front of the extension in one record of the file the reader has open.
uint32_t fixedFieldsSize(const CXcfCaptureFileParser& parser) {
    if (parser.getFormatCode() == "B4") {
        return layout::kB4ExtensionOffset;
    }
    const bool hasLayer2Byte = parser.versionMajor != 1 || parser.versionMinor != 0;
    return hasLayer2Byte ? layout::kB3ExtensionOffset : layout::kTimestampSize;
}

void checkHeaderLayout(const CXcfCaptureFileParser& parser) {
    const uint64_t size = static_cast<uint64_t>(parser.fileSize);
    const uint64_t dataStart = parser.offsetToData;
    const uint64_t indexStart = parser.offsetToIndex;
    const uint64_t dataEnd =
        dataStart + uint64_t{parser.numberOfRecords} * uint64_t{parser.recordLength};
    FUZZ_CHECK(dataStart != 0 && dataStart <= size);
    FUZZ_CHECK(indexStart <= size);
    FUZZ_CHECK(indexStart == 0 || indexStart >= dataEnd);
    FUZZ_CHECK(dataEnd <= size);
    FUZZ_CHECK(parser.numberOfRecords != 0 || indexStart == 0);
}

void checkSourceNames(CXcfPmCaptureFileParser& parser, const std::vector<uint32_t>& numbers) {
    FUZZ_CHECK(parser.getSourceCount() <= 256);
    for (uint32_t slot = 0; slot < 256; ++slot) {
        FUZZ_CHECK(parser.getSourceName(slot).size() <= 126);
    }
    FUZZ_CHECK(parser.getSourceName(256).empty());
    std::vector<uint32_t> asked = {0, 1, parser.numberOfRecords};
    asked.insert(asked.end(), numbers.begin(), numbers.end());
    for (uint32_t n : asked) {
        std::string portType;
        std::string portId;
        std::string direction;
        const bool described = parser.getPortDescription(n, portType, portId, direction);
        FUZZ_CHECK(!portType.empty() && !portId.empty() && !direction.empty());
        if (parser.getFormatCode() == "B4" && (n == 0 || n > parser.numberOfRecords)) {
            FUZZ_CHECK(!described);
        }
    }
}

// Reads record n and checks it against the addressing of the file; false when it fails.
// One record object for every read, as the programs keep one: a record that held a larger
// frame before must come out the same as a fresh one.
bool readChecked(CXcfCaptureFileParser& parser, uint32_t n, RecordCopy& copy) {
    static CXcfCaptureRecord record;
    if (!parser.readRecord(n, record)) {
        return false;
    }
    FUZZ_CHECK(parser.getFormatCode() == "B3" || parser.getFormatCode() == "B4");
    FUZZ_CHECK(n >= 1 && n <= parser.numberOfRecords);
    uint32_t offset = 0;
    FUZZ_CHECK(parser.recordOffset(n, offset));
    const uint64_t size = parser.recordSize(n);
    FUZZ_CHECK(size > 0);
    FUZZ_CHECK(offset >= parser.offsetToData);
    const uint64_t dataEnd =
        parser.offsetToIndex != 0 ? parser.offsetToIndex : static_cast<uint64_t>(parser.fileSize);
    FUZZ_CHECK(uint64_t{offset} + size <= dataEnd);
    FUZZ_CHECK(record.getFrameLength() > 0);
    FUZZ_CHECK(record.getFrameLength() == record.getFrameStoredLength());
    FUZZ_CHECK(fixedFieldsSize(parser) + uint64_t{record.getExtensionLength()} +
                   record.getFrameLength() ==
               size);
    if (parser.getFormatCode() == "B3") {
        FUZZ_CHECK(record.getPortByte() == 0 && record.isFrameGood());
    } else {
        FUZZ_CHECK(record.isFrameGood() ==
                   ((record.getPortByte() & layout::kDamagedFrameBit) == 0));
    }
    copy = checkedCopy(record);
    return true;
}

void checkAddressing(CXcfCaptureFileParser& parser, const std::vector<uint32_t>& numbers) {
    uint32_t offset = 1;
    FUZZ_CHECK(!parser.recordOffset(0, offset) && offset == 0);
    FUZZ_CHECK(parser.recordSize(0) == 0);
    const uint32_t past = parser.numberOfRecords + 1;
    if (past != 0) {
        FUZZ_CHECK(!parser.recordOffset(past, offset) && offset == 0);
        FUZZ_CHECK(parser.recordSize(past) == 0);
    }
    for (uint32_t n : numbers) {
        const bool found = parser.recordOffset(n, offset);
        const uint32_t size = parser.recordSize(n);
        if (n == 0 || n > parser.numberOfRecords) {
            FUZZ_CHECK(!found && size == 0);
        }
    }
}

void exerciseRecords(CXcfCaptureFileParser& parser, const std::vector<uint32_t>& numbers,
                     std::map<uint32_t, RecordCopy>& read) {
    const uint64_t count = parser.numberOfRecords;
    const uint64_t tried = kRecordsTriedAtEachEnd;
    std::vector<uint32_t> wanted;
    for (uint64_t n = 1; n <= std::min(count, tried); ++n) {
        wanted.push_back(static_cast<uint32_t>(n));
    }
    for (uint64_t n = std::max(tried + 1, count + 1 - std::min(count, tried)); n <= count; ++n) {
        wanted.push_back(static_cast<uint32_t>(n));
    }
    wanted.insert(wanted.end(), numbers.begin(), numbers.end());
    wanted.push_back(0);
    wanted.push_back(static_cast<uint32_t>(count + 1));

    // Whether a record can be read is the file's alone: read again, after reads that failed
    // and in any order, each record gives the same outcome and the same bytes.
    std::map<uint32_t, bool> outcome;
    auto readOnce = [&](uint32_t n) {
        RecordCopy copy;
        parser.lastErrorCode = 0;
        const bool ok = readChecked(parser, n, copy);
        FUZZ_CHECK(parser.lastErrorCode >= 0 && parser.lastErrorCode <= 6);
        const auto [seen, first] = outcome.emplace(n, ok);
        FUZZ_CHECK(first || seen->second == ok);
        // A record's time is had alone exactly when the record reads.
        if (auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(&parser)) {
            const int32_t code = parser.lastErrorCode;
            family->lastErrorCode = 0;
            uint32_t seconds = 0;
            uint32_t nanoseconds = 0;
            FUZZ_CHECK(family->readRecordTime(n, seconds, nanoseconds) == ok);
            FUZZ_CHECK(ok || family->lastErrorCode == code);
            FUZZ_CHECK(!ok || (seconds == copy.seconds && nanoseconds == copy.nanoseconds));
        }
        if (!ok) {
            return;
        }
        auto known = read.find(n);
        if (known != read.end()) {
            FUZZ_CHECK(known->second == copy);
        } else {
            read.emplace(n, copy);
        }
    };
    for (uint32_t n : wanted) {
        readOnce(n);
    }
    // Backwards each read loads an index window of its own: a sample of them is enough.
    for (size_t i = wanted.size(); i > 0; i -= std::min<size_t>(i, 16)) {
        readOnce(wanted[i - 1]);
    }
    for (uint32_t n : numbers) {
        readOnce(n);
    }

    // In order from the cursor: the same records as by number.
    parser.rewind();
    CXcfCaptureRecord record;
    for (uint32_t expected = 1; expected <= kRecordsTriedAtEachEnd; ++expected) {
        const uint32_t got = parser.readNextRecord(record);
        if (got == 0) {
            FUZZ_CHECK(parser.currentRecord == expected);
            break;
        }
        FUZZ_CHECK(got == expected);
        auto known = read.find(got);
        if (known != read.end()) {
            FUZZ_CHECK(known->second == checkedCopy(record));
        }
    }
}

}  // namespace

// trcinfo's statistics pass: it reads records in order up to the first failure, its figures
// add up, and its JSON (header and statistics, whatever bytes the texts hold) parses back.
// The JSON round trip costs as much as the rest of an input's checks, so it runs for one
// input in eight, chosen by the input's bytes so that a crash reproduces.
void checkStatistics(CXcfCaptureFileParser& parser, bool withJson) {
    CaptureStatistics stats;
    ReadStop stop;
    const bool complete = FileInspector::gatherStatistics(parser, stats, stop);
    FUZZ_CHECK(complete == (stats.records == parser.numberOfRecords));
    FUZZ_CHECK(stats.storedBytes <= stats.frameBytes);
    uint64_t bucketed = 0;
    for (const uint64_t count : stats.buckets) {
        bucketed += count;
    }
    FUZZ_CHECK(bucketed == stats.records);
    FUZZ_CHECK(stats.earliest <= stats.latest);
    if (!withJson) {
        return;
    }
    JsonPresenter::Json document;
    document["header"] = JsonPresenter::header(parser);
    document["statistics"] = JsonPresenter::statistics(parser, stats);
    FUZZ_CHECK(
        !JsonPresenter::Json::parse(JsonPresenter::text(document), nullptr, false).is_discarded());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Bytes file = fileBytesFrom(data, size);
    static const TempDir scratch;
    const std::string path = scratch.file("input.cap");
    writeFile(path, file);
    const std::vector<uint32_t> numbers = numbersFrom(data, size);

    std::unique_ptr<CXcfCaptureFileParser> parser;
    {
        CXcfCaptureFileParserFactory factory;
        parser = factory.createParser(path);
        if (!parser) {
            FUZZ_CHECK(factory.lastErrorCode >= 1 && factory.lastErrorCode <= 6);
            FUZZ_CHECK(!factory.errorMessage().empty());
        }
    }
    if (parser) {
        FUZZ_CHECK(parser->fileSize == static_cast<int64_t>(file.size()));
        FUZZ_CHECK(!parser->report().empty());
        std::map<uint32_t, RecordCopy> read;
        if (auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(parser.get())) {
            checkHeaderLayout(*parser);
            checkSourceNames(*family, numbers);
            checkAddressing(*parser, numbers);
            exerciseRecords(*parser, numbers, read);
            checkStatistics(*parser, size % 8 == 0);
        } else {
            CXcfCaptureRecord record;
            FUZZ_CHECK(!parser->readRecord(1, record));
            FUZZ_CHECK(parser->readNextRecord(record) == 0);
        }

        // A second open of the same file sees the same header and the same records.
        const uint32_t count = parser->numberOfRecords;
        parser->close();
        parser->close();
        CXcfCaptureRecord record;
        FUZZ_CHECK(!parser->readRecord(1, record));
        FUZZ_CHECK(parser->open(path));
        FUZZ_CHECK(parser->numberOfRecords == count);
        for (const auto& [n, copy] : read) {
            RecordCopy again;
            FUZZ_CHECK(readChecked(*parser, n, again));
            FUZZ_CHECK(again == copy);
            break;  // the first one is enough to show that nothing stale survived
        }
        parser->close();
    }
    FUZZ_CHECK(readFile(path) == file);
    return 0;
}
