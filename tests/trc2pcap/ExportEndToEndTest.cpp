// The real trc2pcap on generated captures: every exported file is read back through libpcap
// and compared, packet for packet, with what the project's own readers read from the inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/PcapReadBack.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

constexpr int kFailure = 255;

// What one exported packet must be: a record of an input, in input order.
struct ExpectedPacket {
    uint64_t timeNanoseconds;
    std::vector<uint8_t> frame;
};

std::vector<ExpectedPacket> packetsOf(const std::vector<std::string>& paths) {
    std::vector<ExpectedPacket> packets;
    for (const std::string& path : paths) {
        for (const RecordCopy& record : readBack(path).records) {
            packets.push_back(
                {uint64_t{record.seconds} * 1000000000 + record.nanoseconds, record.frame});
        }
    }
    return packets;
}

class ExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // B3 and B4 of one link type (GbE), so that libpcap reads either format: the B4 file
        // has three ports and damaged frames.
        generate("a.cap", {"-format", "B3", "-records", "40", "-frame", "60:200", "-seed", "1"});
        generate("b.cap", {"-format", "B4", "-records", "50", "-frame", "64:1500", "-ports", "3",
                           "-damaged", "7", "-time", "1143137000", "-seed", "2"});
    }
    void generate(const std::string& name, std::vector<std::string> args) {
        args.insert(args.begin(), {trcgenPath(), "-out", dir.file(name)});
        ASSERT_EQ(runProgram(args).exitStatus, 0) << name;
    }
    ProcessResult run(std::vector<std::string> args) {
        args.insert(args.begin(), trc2pcapPath());
        RunOptions options;
        options.workingDir = dir.path();
        return runProgram(args, options);
    }

    TempDir dir;
};

struct Conversion {
    std::string name;
    std::vector<std::string> args;
    std::string output;   // the file it must write
    std::string format;   // pcap or pcapng
    bool microseconds;    // read back at this precision
    int linkType;         // expected in the file
    size_t first, count;  // the records it holds, counted through its inputs in order
};

void PrintTo(const Conversion& c, std::ostream* os) {
    *os << c.name;
}

class ExportConversionTest : public ExportTest, public ::testing::WithParamInterface<Conversion> {};

TEST_P(ExportConversionTest, LibpcapReadsBackEveryRecord) {
    const Conversion& c = GetParam();
    const ProcessResult result = run(c.args);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(result.output, "Exported " + std::to_string(c.count) + " records into '" + c.output +
                                 "' (" + c.format + ").\n");
    std::vector<std::string> inputs;
    for (size_t i = 0; i + 1 < c.args.size(); ++i) {
        if (c.args[i] == "-in") {
            inputs.push_back(dir.file(c.args[i + 1]));
        }
    }
    const std::vector<ExpectedPacket> all = packetsOf(inputs);
    const PcapFile file = readPcap(dir.file(c.output), c.microseconds);
    ASSERT_TRUE(file.opened) << file.error;
    EXPECT_EQ(file.error, "");
    EXPECT_EQ(file.linkType, c.linkType);
    ASSERT_EQ(file.packets.size(), c.count);
    for (size_t i = 0; i < c.count; ++i) {
        SCOPED_TRACE("packet " + std::to_string(i));
        const ExpectedPacket& expected = all[c.first + i];
        const PcapPacket& packet = file.packets[i];
        EXPECT_EQ(packet.seconds, expected.timeNanoseconds / 1000000000);
        EXPECT_EQ(packet.fraction,
                  expected.timeNanoseconds % 1000000000 / (c.microseconds ? 1000 : 1));
        EXPECT_EQ(packet.capturedLength, expected.frame.size());
        EXPECT_EQ(packet.originalLength, expected.frame.size());
        EXPECT_EQ(packet.bytes, expected.frame);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ExportConversionTest,
    ::testing::Values(Conversion{"PcapngNamedAfterTheFirstInput",
                                 {"-in", "a.cap", "-in", "b.cap"},
                                 "a.pcapng",
                                 "pcapng",
                                 false,
                                 1,
                                 0,
                                 90},
                      Conversion{"PcapWithNanoseconds",
                                 {"-in", "a.cap", "-in", "b.cap", "-out", "x.pcap"},
                                 "x.pcap",
                                 "pcap",
                                 false,
                                 1,
                                 0,
                                 90},
                      Conversion{"PcapWithMicroseconds",
                                 {"-in", "b.cap", "-in", "a.cap", "-format", "pcap", "-usec"},
                                 "b.pcap",
                                 "pcap",
                                 true,
                                 1,
                                 0,
                                 90},
                      Conversion{"StartAndCountAcrossInputs",
                                 {"-in", "a.cap", "-in", "b.cap", "-start", "38", "-num", "10",
                                  "-out", "w.pcapng"},
                                 "w.pcapng",
                                 "pcapng",
                                 false,
                                 1,
                                 37,
                                 10},
                      Conversion{"FormatOptionBeatsTheExtension",
                                 {"-in", "a.cap", "-out", "x.bin", "-format", "pcap"},
                                 "x.bin",
                                 "pcap",
                                 false,
                                 1,
                                 0,
                                 40},
                      Conversion{
                          "LinkTypeOptionForEveryRecord",
                          {"-in", "a.cap", "-in", "b.cap", "-linktype", "147", "-out", "u.pcapng"},
                          "u.pcapng",
                          "pcapng",
                          false,
                          147,
                          0,
                          90}),
    ::testing::PrintToStringParamName());

TEST_F(ExportTest, RefusalsLeaveNoOutput) {
    generate("ppp.cap", {"-format", "B3", "-records", "5", "-l2", "0"});
    generate("odd.cap", {"-format", "B4", "-records", "5", "-l2", "9"});
    generate("hdlc.cap", {"-format", "B3", "-records", "5", "-l2", "1"});
    writeFile(dir.file("t.pcap"), pcapHeader(false));
    struct Refusal {
        std::vector<std::string> args;
        std::string says;
        std::string output;
    };
    for (const Refusal& r : {
             Refusal{{"-in", "ppp.cap", "-in", "a.cap", "-out", "m.pcap"},
                     "ERROR (exportRecords) - Record 1 of 'a.cap' has link type 1 (Ethernet), but "
                     "the pcap file holds link type 50 (PPP in HDLC framing) of its first record; "
                     "a pcap file holds one link type: use '-format pcapng'.\n",
                     "m.pcap"},
             Refusal{{"-in", "hdlc.cap", "-in", "ppp.cap", "-out", "h.pcap"},
                     "ERROR (exportRecords) - Record 1 of 'ppp.cap' has link type 50 (PPP in "
                     "HDLC framing), but the pcap file holds link type 104 (Cisco HDLC) of its "
                     "first record; a pcap file holds one link type: use '-format pcapng'.\n",
                     "h.pcap"},
             Refusal{{"-in", "a.cap", "-in", "odd.cap"},
                     "ERROR (exportRecords) - Record 1 of 'odd.cap' has the layer-2 type code 9, "
                     "which names no link type; give '-linktype N' to use link type N for every "
                     "record.\n",
                     "a.pcapng"},
             Refusal{{"-in", "a.cap", "-in", "t.pcap"},
                     "ERROR (openInputFile) - Cannot parse file: 't.pcap'\nbecause: The file "
                     "format (X1) is neither B3 nor B4 so cannot be processed further.\n",
                     "a.pcapng"},
             Refusal{{"-in", "a.cap", "-start", "91"},
                     "ERROR (exportRecords) - No record was exported (the inputs hold 40 records, "
                     "-start was 91); the output file 'a.pcapng' was not written.\n",
                     "a.pcapng"},
         }) {
        SCOPED_TRACE(r.says);
        const ProcessResult result = run(r.args);
        EXPECT_EQ(result.exitStatus, kFailure);
        EXPECT_EQ(result.output, r.says);
        EXPECT_FALSE(fileExists(dir.file(r.output)));
    }
}

TEST_F(ExportTest, CommandLineErrorsPrintTheUsage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"-in", "a.cap", "-usec"},
                                                 {"-in", "a.cap", "-num", "x"},
                                                 {"-in", "a.cap", "-format", "csv"},
                                                 {"-in"},
                                                 {"-bogus"}}) {
        const ProcessResult result = run(args);
        EXPECT_EQ(result.exitStatus, kFailure);
        EXPECT_NE(result.output.find("\n\nUsage: trc2pcap -in FILE"), std::string::npos)
            << result.output;
    }
    const ProcessResult help = run({"-h"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.output.rfind("Usage: trc2pcap -in FILE", 0), 0u);
}

// A damaged input ends at its first unreadable record with splicetrc's warning, and the next
// input goes on.
TEST_F(ExportTest, ADamagedInputWarnsAndTheNextGoesOn) {
    Bytes bytes = readFile(dir.file("a.cap"));
    const uint32_t index = be32At(bytes, 27);
    putAt(bytes, index + 4 * 10, 4, be32At(bytes, index + 4 * 9) + 3);  // record 10 ends early
    writeFile(dir.file("a.cap"), bytes);
    const ProcessResult result = run({"-in", "a.cap", "-in", "b.cap", "-out", "o.pcap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output,
              "WARNING (appendRecords) - Stopped reading file: 'a.cap' at record 10 of 40; its "
              "remaining records were skipped.\nExported 59 records into 'o.pcap' (pcap).\n");
    EXPECT_EQ(readPcap(dir.file("o.pcap")).packets.size(), 59u);
}

// Records laid out as the writers lay them out (B4, record type 4) go through the run path;
// a B3 record type with another extension goes record by record.
struct PathAndFormat {
    const char* name;
    bool runs;
    std::vector<std::string> formatArgs;
};

void PrintTo(const PathAndFormat& c, std::ostream* os) {
    *os << c.name;
}

class ExportLimitTest : public ExportTest, public ::testing::WithParamInterface<PathAndFormat> {
  protected:
    // Exports records of these times and frames to o.out.
    ProcessResult exportOf(const std::vector<std::pair<uint64_t, Bytes>>& records) {
        const bool runs = GetParam().runs;
        CaptureFileBuilder b = runs ? CaptureFileBuilder::b4() : CaptureFileBuilder();
        b.recordType = runs ? 4 : 2;
        for (const auto& [time, frame] : records) {
            const auto seconds = static_cast<uint32_t>(time >> 32);
            const auto nanoseconds = static_cast<uint32_t>(time);
            b.records.push_back(
                runs
                    ? CaptureFileBuilder::b4Record(seconds, nanoseconds, 0, 0, 2, kZeroWords, frame)
                    : CaptureFileBuilder::b3Record(seconds, nanoseconds, 2, Bytes(5), frame));
        }
        b.writeTo(dir.file("in.cap"));
        std::vector<std::string> args = {"-in", "in.cap", "-out", "o.out"};
        args.insert(args.end(), GetParam().formatArgs.begin(), GetParam().formatArgs.end());
        return run(args);
    }
    std::string formatName() const { return GetParam().formatArgs[1]; }
};

// A frame beyond what pcap readers take (a damaged index makes one) is cut to it, whichever
// way its record goes, so that every packet after it still reads.
TEST_P(ExportLimitTest, FramesBeyondTheReadersLimitAreCut) {
    std::vector<std::pair<uint64_t, Bytes>> records;
    for (const size_t length : {60, 300001, 262144, 270000, 70}) {
        records.emplace_back(100ull << 32, CaptureFileBuilder::pattern(length, length % 7));
    }
    const ProcessResult result = exportOf(records);
    EXPECT_EQ(result.output,
              "WARNING (exportRecords) - Cut 2 packets longer than 262144 bytes to their first "
              "262144 bytes, the most that pcap and pcapng readers take; their original lengths "
              "are kept.\nExported 5 records into 'o.out' (" +
                  formatName() + ").\n");
    const PcapFile file = readPcap(dir.file("o.out"), GetParam().formatArgs.size() > 2);
    EXPECT_EQ(file.error, "");
    ASSERT_EQ(file.packets.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const Bytes& frame = records[i].second;
        const size_t kept = std::min<size_t>(frame.size(), 262144);
        EXPECT_EQ(file.packets[i].originalLength, frame.size()) << i;
        EXPECT_EQ(file.packets[i].bytes, Bytes(frame.begin(), frame.begin() + kept)) << i;
    }
}

// pcap seconds are 32 bits: a record that a nanoseconds field of 10^9 or more carries past
// them is refused with a pointer to pcapng, and nothing is left behind; pcapng keeps its time.
TEST_P(ExportLimitTest, TimesPastThePcapSecondsAreRefused) {
    for (const size_t late : {0, 2}) {
        std::vector<std::pair<uint64_t, Bytes>> records(3, {100ull << 32, Bytes(60)});
        records[late].first = ~0ull;
        const ProcessResult result = exportOf(records);
        if (formatName() == "pcapng") {
            EXPECT_EQ(readPcap(dir.file("o.out")).packets.at(late).seconds, 4294967299u);
            continue;
        }
        EXPECT_EQ(result.exitStatus, kFailure);
        EXPECT_EQ(result.output, "ERROR (exportRecords) - Record " + std::to_string(late + 1) +
                                     " of 'in.cap' has the time 4294967299.294967295 (seconds "
                                     "4294967295, nanoseconds 4294967295), past the 32-bit "
                                     "seconds of a pcap file (the year 2106): use '-format "
                                     "pcapng'.\n");
        // a.cap, b.cap and in.cap only.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExportLimitTest,
    ::testing::Values(PathAndFormat{"RunsPcap", true, {"-format", "pcap"}},
                      PathAndFormat{"RunsPcapng", true, {"-format", "pcapng"}},
                      PathAndFormat{"OneByOnePcap", false, {"-format", "pcap"}},
                      PathAndFormat{"OneByOnePcapng", false, {"-format", "pcapng"}},
                      PathAndFormat{"OneByOneMicroseconds", false, {"-format", "pcap", "-usec"}}),
    ::testing::PrintToStringParamName());

// pcapng interface names are UTF-8: the bytes of a source name that are not are replaced as
// trcinfo -json replaces them.
TEST_F(ExportTest, InterfaceNamesAreValidUtf8AsInTheJson) {
    CaptureFileBuilder b = CaptureFileBuilder::b4();
    b.sourceNames[0] = "GbE,\xff\xfe,Rx \xe2\x82 caf\xc3\xa9";
    b.records.push_back(CaptureFileBuilder::b4Record(1, 0, 0, 0, 2, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("n.cap"));
    ASSERT_EQ(run({"-in", "n.cap"}).exitStatus, 0);
    const std::string name = "GbE,\xEF\xBF\xBD\xEF\xBF\xBD,Rx \xEF\xBF\xBD caf\xC3\xA9";
    const Bytes file = readFile(dir.file("n.pcapng"));
    // The if_name option: code 2, the name's length, the name.
    EXPECT_NE(std::string(file.begin(), file.end())
                  .find(std::string("\x02\x00", 2) + char(name.size()) + '\0' + name),
              std::string::npos);
    RunOptions options;
    options.workingDir = dir.path();
    EXPECT_NE(runProgram({trcinfoPath(), "-json", "-tables", "n.cap"}, options)
                  .output.find("\"source_names\":[\"" + name + "\""),
              std::string::npos);
}

// The export on standard output (-out -), run by the shell with standard output and error
// sent where each case says: the same bytes as the file export, nothing of the program's own
// among them and nothing left on disk; an input behind it refused; a reader that stops early
// ends it quietly; a disk that fills behind it is reported.
struct StreamCase {
    const char* name;
    std::string command;  // after "trc2pcap -in a.cap -in b.cap -out - "
    int status;           // of trc2pcap
    std::string says;     // found in its standard error; empty: nothing there
    bool sameAsFile;      // s.out equals the export into a file with the same options
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class ExportStreamTest : public ExportTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(ExportStreamTest, StandardOutputCarriesTheExport) {
    const StreamCase& c = GetParam();
    generate("big.cap", {"-records", "6000", "-frame", "500"});
    Tmpfs full(dir.file("full"), "size=64k");
    if (c.command.find("full/") != std::string::npos && !full.mounted()) {
        GTEST_SKIP() << "no tmpfs can be mounted here, so the full disk was not tried: "
                     << std::strerror(errno);
    }
    const Bytes input = readFile(dir.file("a.cap"));
    const std::string command = "-in a.cap -in b.cap -out - " + c.command;
    const ProcessResult shell = runProgram({"/bin/bash", "-c",
                                            "cd '" + dir.path() + "' && " + trc2pcapPath() + " " +
                                                command + " 2> err; echo ${PIPESTATUS[0]}"});
    EXPECT_EQ(shell.output, std::to_string(c.status) + "\n");
    const Bytes bytes = readFile(dir.file("err"));
    const std::string said(bytes.begin(), bytes.end());
    if (c.says.empty()) {
        EXPECT_EQ(said, "");
    } else {
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
    EXPECT_EQ(readFile(dir.file("a.cap")), input);
    // Nothing but what the test and the shell made: a.cap, b.cap, big.cap, full, err, and
    // s.out where it went to this folder.
    const bool here = c.command.find("s.out") != std::string::npos &&
                      c.command.find("full/") == std::string::npos;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              here ? 6 : 5);
    if (c.sameAsFile) {
        const std::string options = c.command.substr(0, c.command.find('>'));
        ASSERT_EQ(runProgram({"/bin/sh", "-c",
                              "cd '" + dir.path() + "' && " + trc2pcapPath() +
                                  " -in a.cap -in b.cap -out f.out " + options})
                      .exitStatus,
                  0);
        EXPECT_EQ(readFile(dir.file("s.out")), readFile(dir.file("f.out")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ExportStreamTest,
    ::testing::Values(
        StreamCase{"PcapngAsTheFileExport", "> s.out", 0, "", true},
        StreamCase{"PcapAsTheFileExport", "-format pcap > s.out", 0, "", true},
        StreamCase{"MicrosecondsAsTheFileExport", "-format pcap -usec > s.out", 0, "", true},
        StreamCase{"AReaderThatStopsEarlyEndsItQuietly", "-in big.cap | head -c 100 > s.out",
                   kFailure, "", false},
        StreamCase{"AnInputBehindItIsRefused", ">> a.cap", kFailure,
                   "ERROR (openOutputFile) - Failed to open file: '-'\nbecause: standard output "
                   "is the input file 'a.cap'",
                   false},
        StreamCase{"AFullDiskIsReported", "-in big.cap > full/s.out", kFailure,
                   "ERROR (exportRecords) - Failed to write file: '-'", false}),
    ::testing::PrintToStringParamName());

// Binary data on a terminal helps no one: refused before anything is read, in words that say
// what to do instead.
TEST_F(ExportTest, ATerminalAsStandardOutputIsRefused) {
    // script gives the program a terminal and copies what appears on it.
    const ProcessResult onTerminal = runProgram(
        {"/usr/bin/script", "-qec", trc2pcapPath() + " -in " + dir.file("a.cap") + " -out -",
         dir.file("typescript")});
    EXPECT_EQ(onTerminal.exitStatus, kFailure);
    EXPECT_NE(onTerminal.output.find("ERROR (openOutputFile) - Standard output is a terminal"),
              std::string::npos)
        << onTerminal.output;
    EXPECT_FALSE(fileExists(dir.file("a.pcapng")));
}

}  // namespace
