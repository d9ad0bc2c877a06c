// The whole append run, in-process, on two inputs cut out of the fuzz data. Whatever the
// inputs hold, the output must re-open through the parser factory (so its header passes the
// layout checks) and hold exactly the records the driver was asked to copy, mapped onto the
// output format, and neither input may change. The same inputs then go through the export to
// pcap or pcapng, which libpcap must read back with every record selected, and through the
// time-ordered merge of trcedit.
//
// Fuzz data: byte 0 picks the start record, byte 1 the record limit (and whether the second
// input is the first one again, and whether the export writes pcap), bytes 2 and 3 the length of
// the first input; the first input follows, and the rest is the second input. Each input may be in
// the packed form of FuzzSupport.h.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "fuzz/FuzzSupport.h"
#include "splicetrc/AppendRun.h"
#include "splicetrc/RunSettings.h"
#include "support/PcapReadBack.h"
#include "support/SampleCaptures.h"
#include "trcedit/EditRun.h"

using namespace fuzzsupport;
using namespace testsupport;

namespace {

constexpr size_t kControlBytes = 4;

// An input as the driver will see it, read beforehand through readers of its own.
struct InputView {
    bool usable = false;  // opens, and is B3 or B4
    Format format = Format::B3;
    uint32_t numberOfRecords = 0;
    std::vector<RecordCopy> records;
    CXcfTimeOfDay startTimeOfDay;
    CXcfTimeOfDay stopTimeOfDay;
    CXcfTimestamp stopTimestamp{0, 0};
};

InputView view(const std::string& path) {
    InputView input;
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(parser.get());
    if (family == nullptr) {
        return input;
    }
    const std::string code = parser->getFormatCode();
    input.usable = code == "B3" || code == "B4";
    input.format = code == "B4" ? Format::B4 : Format::B3;
    input.numberOfRecords = parser->numberOfRecords;
    input.records = readUntilFailure(*parser);
    input.startTimeOfDay = family->captureStartTimeOfDay;
    input.stopTimeOfDay = family->captureStopTimeOfDay;
    input.stopTimestamp = family->captureStopTimestamp;
    return input;
}

bool sameTimeOfDay(const CXcfTimeOfDay& a, const CXcfTimeOfDay& b) {
    return a.getHours() == b.getHours() && a.getMinutes() == b.getMinutes() &&
           a.getMillisecondsOfMinute() == b.getMillisecondsOfMinute();
}

uint32_t triggerPacketNumberOf(CXcfCaptureFileParser& parser) {
    if (auto* b3 = dynamic_cast<CXcfPmB3CaptureFileParser*>(&parser)) {
        return b3->triggerPacketNumber;
    }
    if (auto* b4 = dynamic_cast<CXcfPmB4CaptureFileParser*>(&parser)) {
        return b4->triggerPacketNumber;
    }
    return 0;
}

void checkOutput(const std::string& path, Format format, const std::vector<RecordCopy>& expected,
                 const InputView& first, const InputView& last) {
    FUZZ_CHECK(fileExists(path));
    FUZZ_CHECK(!fileExists(path + ".idx"));
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    FUZZ_CHECK(parser != nullptr);
    FUZZ_CHECK(parser->getFormatCode() == formatCode(format));
    FUZZ_CHECK(parser->numberOfRecords == expected.size());
    const std::vector<RecordCopy> records = readUntilFailure(*parser);
    FUZZ_CHECK(records.size() == expected.size());
    for (size_t i = 0; i < records.size(); ++i) {
        FUZZ_CHECK(records[i] == expected[i]);
    }
    // Nothing but the header, the records and their index entries.
    const uint64_t size = static_cast<uint64_t>(parser->fileSize);
    FUZZ_CHECK(uint64_t{parser->offsetToIndex} + xcf::layout::kIndexEntrySize * expected.size() ==
               size);
    FUZZ_CHECK(triggerPacketNumberOf(*parser) == expected.size() - 1);
    auto& family = dynamic_cast<CXcfPmCaptureFileParser&>(*parser);
    FUZZ_CHECK(sameTimeOfDay(family.captureStartTimeOfDay, first.startTimeOfDay));
    FUZZ_CHECK(sameTimeOfDay(family.captureStopTimeOfDay, last.stopTimeOfDay));
    FUZZ_CHECK(family.captureStopTimestamp.getSeconds() == last.stopTimestamp.getSeconds());
    FUZZ_CHECK(family.captureStopTimestamp.getNanoseconds() == last.stopTimestamp.getNanoseconds());
}

// The same inputs exported to pcap or pcapng (one link type for every record, whatever their
// layer-2 codes say): the file must read back through libpcap with every record selected, the
// start counting through both inputs.
void checkExport(const RunSettings& merge, const InputView& first, const InputView& second,
                 bool pcap) {
    static const TempDir scratch;
    ExportSettings settings;
    settings.inputFileNames = merge.inputFileNames;
    settings.outputFileName = scratch.file(pcap ? "exported.pcap" : "exported.pcapng");
    settings.format = pcap ? ExportFormat::kPcap : ExportFormat::kPcapng;
    settings.startRecord = merge.startRecord == 0 ? 1 : merge.startRecord;
    settings.recordLimit = merge.recordLimit;
    settings.linkTypeGiven = true;
    settings.linkType = 1;
    uint64_t count = 0;
    const bool exported = exportQuietly(settings, count);
    std::vector<const RecordCopy*> expected;
    for (const InputView* input : {&first, &second}) {
        for (const RecordCopy& record : input->records) {
            expected.push_back(&record);
        }
    }
    const size_t skip = std::min<size_t>(settings.startRecord - 1, expected.size());
    expected.erase(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(skip));
    if (settings.recordLimit != 0 && expected.size() > settings.recordLimit) {
        expected.resize(settings.recordLimit);
    }
    // A pcap file's seconds are 32 bits: a later time (a nanosecond field of a second or more
    // on the last second) is refused, and pcapng is the way.
    const bool pastPcapSeconds =
        pcap && std::any_of(expected.begin(), expected.end(), [](const RecordCopy* r) {
            return r->seconds == 0xFFFFFFFFu && r->nanoseconds >= 1000000000u;
        });
    FUZZ_CHECK(exported == (!expected.empty() && !pastPcapSeconds));
    FUZZ_CHECK(count == (pastPcapSeconds ? count : expected.size()));
    if (expected.empty() || pastPcapSeconds) {
        FUZZ_CHECK(!fileExists(settings.outputFileName));
        return;
    }
    const PcapFile file = readPcap(settings.outputFileName);
    FUZZ_CHECK(file.opened && file.error.empty());
    FUZZ_CHECK(file.packets.size() == expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(file.packets[i].bytes == expected[i]->frame);
    }
}

// The same inputs merged by trcedit in time order: the output holds a stable sort by time of
// the records the readers deliver, mapped onto the output format.
void checkEdit(const RunSettings& merge, const InputView& first, const InputView& second,
               Format format) {
    static const TempDir scratch;
    EditSettings settings;
    settings.inputFileNames = merge.inputFileNames;
    settings.outputFileName = scratch.file("edited.cap");
    settings.sort = true;
    removeFile(settings.outputFileName);
    uint64_t count = 0;
    size_t files = 0;
    bool edited = false;
    {
        ConsoleCapture silent;
        EditRun run(settings);
        FUZZ_CHECK(run.openAllInputs() && run.prepareOutput());
        edited = run.editRecords(count, files);
        run.cleanUp();
    }
    std::vector<RecordCopy> expected;
    for (const InputView* input : {&first, &second}) {
        for (const RecordCopy& record : input->records) {
            expected.push_back(asOutputRecord(record, input->format, format));
        }
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const RecordCopy& a, const RecordCopy& b) {
                         return uint64_t{a.seconds} * 1000000000 + a.nanoseconds <
                                uint64_t{b.seconds} * 1000000000 + b.nanoseconds;
                     });
    FUZZ_CHECK(edited == !expected.empty());
    FUZZ_CHECK(count == expected.size());
    if (expected.empty()) {
        FUZZ_CHECK(!fileExists(settings.outputFileName));
        return;
    }
    const ReadBack back = readBack(settings.outputFileName);
    FUZZ_CHECK(back.opened && back.records == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kControlBytes) {
        return 0;
    }
    RunSettings settings;
    // Mostly the default start; otherwise a small position or one far beyond any file.
    settings.startRecord = data[0] < 0x80 ? 1 : data[0] == 0xFF ? 0xFFFFFFFFu : data[0] & 0x0F;
    settings.recordLimit = data[1] & 0x0F;
    const bool sameInputTwice = (data[1] & 0x80) != 0;
    const size_t rest = size - kControlBytes;
    const size_t firstSize = ((size_t{data[2]} << 8) | data[3]) % (rest + 1);
    const uint8_t* firstData = data + kControlBytes;

    const Bytes firstFile = fileBytesFrom(firstData, firstSize);
    const Bytes secondFile = fileBytesFrom(firstData + firstSize, rest - firstSize);
    static const TempDir scratch;
    const std::string firstPath = scratch.file("first.cap");
    const std::string secondPath = sameInputTwice ? firstPath : scratch.file("second.cap");
    const std::string outputPath = scratch.file("merged.cap");
    writeFile(firstPath, firstFile);
    if (!sameInputTwice) {
        writeFile(secondPath, secondFile);
    }
    removeFile(outputPath);
    removeFile(outputPath + ".idx");
    settings.inputFileNames = {firstPath, secondPath};
    settings.outputFileName = outputPath;

    const InputView first = view(firstPath);
    const InputView second = sameInputTwice ? first : view(secondPath);
    const bool inputsUsable = first.usable && second.usable;
    const Format format =
        first.format == Format::B4 || (first.usable && second.format == Format::B4) ? Format::B4
                                                                                    : Format::B3;

    bool opened = false;
    bool outputOpened = false;
    bool converted = false;
    uint32_t count = 0;
    {
        ConsoleCapture silent;
        AppendRun run(settings);
        opened = run.openAllInputs();
        if (opened) {
            FUZZ_CHECK(run.outputFormat == formatCode(format));
            outputOpened = run.openOutputFile();
        }
        if (outputOpened) {
            converted = run.convertRecords(count);
        }
        run.cleanUp();
    }

    FUZZ_CHECK(opened == inputsUsable);
    if (!opened) {
        FUZZ_CHECK(!fileExists(outputPath));
    } else {
        FUZZ_CHECK(outputOpened);
        std::vector<RecordCopy> merged;
        for (const InputView* input : {&first, &second}) {
            for (const RecordCopy& record : input->records) {
                merged.push_back(asOutputRecord(record, input->format, format));
            }
        }
        std::vector<RecordCopy> expected;
        if (first.numberOfRecords >= settings.startRecord) {
            const size_t skip = settings.startRecord == 0 ? 0 : settings.startRecord - 1;
            const size_t limit = settings.recordLimit == 0 ? merged.size() : settings.recordLimit;
            for (size_t i = skip; i < merged.size() && expected.size() < limit; ++i) {
                expected.push_back(merged[i]);
            }
        }
        FUZZ_CHECK(count == expected.size());
        FUZZ_CHECK(converted == !expected.empty());
        // A run that writes nothing leaves no output at all.
        if (expected.empty()) {
            FUZZ_CHECK(!fileExists(outputPath));
        } else {
            checkOutput(outputPath, format, expected, first, second);
        }
    }
    if (opened) {
        checkExport(settings, first, second, (data[1] & 0x40) != 0);
        checkEdit(settings, first, second, format);
    }
    // The temporary files and their side index files are gone, whatever the runs did.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(outputPath).parent_path())) {
        const std::string name = entry.path().filename().string();
        FUZZ_CHECK(name.rfind(".merged.", 0) != 0 && name.rfind(".exported.", 0) != 0 &&
                   name.rfind(".edited.", 0) != 0);
    }

    FUZZ_CHECK(readFile(firstPath) == firstFile);
    if (!sameInputTwice) {
        FUZZ_CHECK(readFile(secondPath) == secondFile);
    }
    return 0;
}
