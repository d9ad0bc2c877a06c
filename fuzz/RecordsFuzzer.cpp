// Captures built from a description of their records, so that the fuzzer steers what byte
// mutations rarely reach: times that step back, nanosecond fields of a second or more, frames
// around the 262,144 bytes packet readers take, more records than an index window holds, and
// the damage that ends an input early (an index section cut short, a record count no file can
// hold, an index entry that points elsewhere). Each capture goes through the export to pcap or
// pcapng and through trcedit's time-ordered merge and splits, and is read again by number
// after reads that failed. Whatever the capture holds:
// - every record written is a record the readers deliver, and none they deliver is dropped;
// - the exports read back through libpcap to the last packet, cut at 262,144 bytes with their
//   original lengths, or a pcap export of a time past its 32-bit seconds is refused and leaves
//   nothing behind;
// - trcedit's chunks read back cleanly and, joined, hold the records in file order or in a
//   stable order by time;
// - a record reads the same whatever was read before it.
//
// Fuzz data: six control bytes, then six bytes per record (see Description), repeated as
// control byte 5 says.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "fuzz/FuzzSupport.h"
#include "support/CaptureFileBuilder.h"
#include "support/PcapReadBack.h"
#include "support/SampleCaptures.h"
#include "trcedit/ChunkedOutput.h"
#include "trcedit/EditRun.h"

using namespace fuzzsupport;
using namespace testsupport;

namespace {

constexpr size_t kControlBytes = 6;
constexpr size_t kRecordBytes = 6;
constexpr uint32_t kMaxRecords = 1200;  // past the first index window
constexpr uint32_t kMaxLargeFrames = 1;
constexpr uint32_t kSnapLength = 262144;
constexpr uint64_t kBillion = 1000000000;

struct Description {
    bool b4 = false;
    bool pcap = false;          // else pcapng
    bool microseconds = false;  // a pcap file's resolution
    bool sort = false;
    SplitKind split = SplitKind::kNone;
    bool twoInputs = false;   // the capture given twice
    bool nearTheEnd = false;  // times start a few minutes before 2^32 seconds
    uint8_t damage = 0;
    uint16_t damageValue = 0;
    uint8_t splitValue = 0;
};

Description describe(const uint8_t* data) {
    Description d;
    d.b4 = (data[0] & 0x01) != 0;
    d.pcap = (data[0] & 0x02) != 0;
    d.microseconds = (data[0] & 0x04) != 0;
    d.sort = (data[0] & 0x08) != 0;
    d.split = static_cast<SplitKind>((data[0] >> 4) & 0x03);
    d.twoInputs = (data[0] & 0x40) != 0;
    d.nearTheEnd = (data[0] & 0x80) != 0;
    d.damage = data[1] % 4;
    d.damageValue = static_cast<uint16_t>((data[2] << 8) | data[3]);
    d.splitValue = data[4];
    return d;
}

// Per record: a signed step of whole seconds from the record before, a nanosecond field in
// steps of 16,000 (up to 1.05 s: a field of a second or more is what damaged files hold), the
// B4 port byte, a frame length (bit 7: around 262,144 bytes, else 1 to 128), a fill byte.
Bytes buildCapture(const Description& d, const uint8_t* records, size_t count, uint32_t repeats,
                   CaptureFileLayout& layout) {
    CaptureFileBuilder builder = d.b4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    builder.sourceNames[0] = d.b4 ? "GbE,1/1,Rx" : "POS,1A,Rx";
    builder.sourceNames[1] = "GbE,1/2,Rx";
    uint32_t seconds = d.nearTheEnd ? 0xFFFFFF00u : 1000000000u;
    uint32_t large = 0;
    for (uint32_t round = 0; round < repeats; ++round) {
        for (size_t i = 0; i < count && builder.records.size() < kMaxRecords; ++i) {
            const uint8_t* r = records + i * kRecordBytes;
            seconds += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(r[0])));
            const uint32_t nanoseconds = ((uint32_t{r[1]} << 8) | r[2]) * 16000;
            uint32_t length = (r[4] & 0x7F) + 1u;
            if ((r[4] & 0x80) != 0 && large < kMaxLargeFrames) {
                length = kSnapLength - 64 + (r[4] & 0x7F);
                ++large;
            }
            const Bytes frame = CaptureFileBuilder::pattern(length, r[5]);
            const Bytes extension = CaptureFileBuilder::pattern(8, static_cast<uint8_t>(round));
            builder.records.push_back(
                d.b4 ? CaptureFileBuilder::b4Record(seconds, nanoseconds, r[3], 0x11, 2, extension,
                                                    frame)
                     : CaptureFileBuilder::b3Record(seconds, nanoseconds, 2, extension, frame));
        }
    }
    const auto n = static_cast<uint32_t>(builder.records.size());
    if (d.damage == 2) {
        // A count the file cannot hold: far beyond it, or a few records more than it has.
        builder.numberOfRecords = (d.damageValue & 0x8000) != 0
                                      ? 0xFFFFFFFFu - (d.damageValue & 0x7FFF)
                                  : (d.damageValue & 0x4000) != 0 ? 0x80000000u
                                                                  : n + d.damageValue;
    }
    Bytes bytes = builder.build(&layout);
    if (d.damage == 1) {
        // The index section cut short, by up to all of its entries.
        bytes.resize(bytes.size() - d.damageValue % (4 * size_t{n} + 1));
    } else if (d.damage == 3) {
        // An index entry pointing at another record, or into the header.
        const uint32_t k = d.damageValue % n + 1;
        const uint32_t to = (d.damageValue >> 8) % (n + 1);
        const uint32_t value = to == 0 ? 100 : layout.recordOffsets[to - 1];
        putAt(bytes, layout.index + 4 * size_t{k - 1}, 4, value);
    }
    return bytes;
}

uint64_t timeOf(const RecordCopy& r) {
    return uint64_t{r.seconds} * kBillion + r.nanoseconds;
}

// A record reads the same whatever was read before it: the first record that failed, then
// the records around it and the first one, by number.
void checkRereads(const std::string& path, const std::vector<RecordCopy>& delivered) {
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    FUZZ_CHECK(parser != nullptr);
    const auto failing = static_cast<uint32_t>(delivered.size() + 1);
    CXcfCaptureRecord record;
    FUZZ_CHECK(!parser->readRecord(failing, record));
    for (uint32_t n : {failing - 1, 1u, failing / 2, failing - 1}) {
        if (n == 0 || n > delivered.size()) {
            continue;
        }
        FUZZ_CHECK(parser->readRecord(n, record));
        FUZZ_CHECK(checkedCopy(record) == delivered[n - 1]);
        FUZZ_CHECK(!parser->readRecord(failing, record));
    }
}

void checkExport(const Description& d, const std::vector<std::string>& inputs,
                 const std::vector<RecordCopy>& records) {
    static const TempDir scratch;
    ExportSettings settings;
    settings.inputFileNames = inputs;
    settings.outputFileName = scratch.file(d.pcap ? "exported.pcap" : "exported.pcapng");
    settings.format = d.pcap ? ExportFormat::kPcap : ExportFormat::kPcapng;
    settings.microseconds = d.pcap && d.microseconds;
    settings.linkTypeGiven = true;
    settings.linkType = 1;
    uint64_t count = 0;
    const bool exported = exportQuietly(settings, count);
    const bool pastPcapSeconds =
        d.pcap && std::any_of(records.begin(), records.end(), [](const RecordCopy& r) {
            return timeOf(r) / kBillion > 0xFFFFFFFFu;
        });
    if (records.empty() || pastPcapSeconds) {
        FUZZ_CHECK(!exported);
        FUZZ_CHECK(!fileExists(settings.outputFileName));
        return;
    }
    FUZZ_CHECK(exported && count == records.size());
    const PcapFile file = readPcap(settings.outputFileName, settings.microseconds);
    FUZZ_CHECK(file.opened && file.error.empty());
    FUZZ_CHECK(file.packets.size() == records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const PcapPacket& packet = file.packets[i];
        const Bytes& frame = records[i].frame;
        const size_t kept = std::min<size_t>(frame.size(), kSnapLength);
        FUZZ_CHECK(packet.originalLength == frame.size());
        FUZZ_CHECK(packet.capturedLength == kept);
        FUZZ_CHECK(packet.bytes == Bytes(frame.begin(), frame.begin() + kept));
        if (!settings.microseconds) {
            // libpcap takes a pcap file's 32 bits of seconds as signed: 2038 on reads as 1901.
            const uint64_t seconds = d.pcap ? packet.seconds & 0xFFFFFFFFu : packet.seconds;
            FUZZ_CHECK(seconds * kBillion + packet.fraction == timeOf(records[i]));
        }
    }
}

void checkEdit(const Description& d, const std::vector<std::string>& inputs,
               std::vector<RecordCopy> expected) {
    static const TempDir scratch;
    EditSettings settings;
    settings.inputFileNames = inputs;
    settings.outputFileName = scratch.file("edited.cap");
    settings.sort = d.sort;
    settings.split = d.split;
    // Few enough chunks that a run stays quick, and chunks of bytes that take a header and
    // the largest record.
    if (d.split == SplitKind::kRecords) {
        settings.splitValue = 200 + d.splitValue * 8;
    } else if (d.split == SplitKind::kBytes) {
        settings.splitValue = (320 + 4 * uint64_t{d.splitValue}) * 1024;
    } else if (d.split == SplitKind::kSeconds) {
        settings.splitValue = (1 + uint64_t{d.splitValue}) * 30 * kBillion;
    }
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
    if (d.sort) {
        std::stable_sort(
            expected.begin(), expected.end(),
            [](const RecordCopy& a, const RecordCopy& b) { return timeOf(a) < timeOf(b); });
    }
    FUZZ_CHECK(edited == !expected.empty());
    FUZZ_CHECK(count == expected.size());
    std::vector<RecordCopy> joined;
    const bool chunked = d.split != SplitKind::kNone;
    for (size_t chunk = 1; chunk <= files; ++chunk) {
        const std::string name = chunked ? ChunkedOutput::chunkName(settings.outputFileName, chunk)
                                         : settings.outputFileName;
        const ReadBack back = readBack(name);
        FUZZ_CHECK(back.opened && back.numberOfRecords == back.records.size());
        joined.insert(joined.end(), back.records.begin(), back.records.end());
        removeFile(name);
    }
    FUZZ_CHECK(joined == expected);
    // Nothing else is left: no temporary file, no side index file, no set-aside chunk.
    FUZZ_CHECK(std::filesystem::is_empty(scratch.path()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kControlBytes) {
        return 0;
    }
    const Description d = describe(data);
    const size_t count = (size - kControlBytes) / kRecordBytes;
    const uint32_t repeats = 1 + data[5] % 64;
    CaptureFileLayout layout;
    if (count == 0) {
        return 0;  // a file without records is refused before anything is read
    }
    const Bytes bytes = buildCapture(d, data + kControlBytes, count, repeats, layout);
    static const TempDir scratch;
    const std::string path = scratch.file("described.cap");
    writeFile(path, bytes);

    const ReadBack back = readBack(path);
    FUZZ_CHECK(back.opened);
    const std::vector<RecordCopy>& delivered = back.records;
    checkRereads(path, delivered);

    const std::vector<std::string> inputs =
        d.twoInputs ? std::vector<std::string>{path, path} : std::vector<std::string>{path};
    std::vector<RecordCopy> all;
    for (size_t i = 0; i < inputs.size(); ++i) {
        all.insert(all.end(), delivered.begin(), delivered.end());
    }
    checkExport(d, inputs, all);
    const Format format = d.b4 ? Format::B4 : Format::B3;
    for (RecordCopy& r : all) {
        r = asOutputRecord(r, format, format);
    }
    checkEdit(d, inputs, all);
    FUZZ_CHECK(readFile(path) == bytes);
    return 0;
}
