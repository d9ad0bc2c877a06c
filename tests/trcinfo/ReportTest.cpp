// Header reports of the three formats, the messages of files no reader accepts, and the
// exit status over several files.
#include <optional>
#include <ostream>
#include <string>

#include "trcinfo/TrcinfoFixture.h"

using namespace trcinfotest;

namespace {

// The part of every tester-family report that the builder's defaults fix.
std::string familyReport(const std::string& name, const std::string& format,
                         const std::string& version, const std::string& flags, uint32_t records,
                         const CaptureFileLayout& layout) {
    return "Filename           : " + name + "\n" +
           "Signature          : #MVCF:\n"
           "Format code        : " +
           format + "\n" + "Version            : " + version + "\n" +
           "Master Format flags: " + flags + "\n" +
           "Number of records  : " + std::to_string(records) + "\n" +
           "Record length      : 0\n"
           "Offset to Data     : " +
           offsetText(layout.data) + "\n" +
           "Description string : '#Description: test\n'\n"
           "Offset to Index    : " +
           offsetText(layout.index) + "\n" +
           "Last error code    : 0 = 'No error'\n"
           "Capture Start Time of Day  : 10:20:30.000\n"
           "Capture Stop  Time of Day  : 11:21:31.000\n"
           "Capture Stop  Timestamp    : 1000:000000500\n"
           "Trigger Packet No.         : 7\n\n";
}

TEST_F(TrcinfoTest, B3ReportIsTheReadersReportWithCaptureTimes) {
    CaptureFileBuilder b;
    b.triggerPacketNumber = 7;
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
    b.records.push_back(CaptureFileBuilder::b3Record(3, 4, 0, kZeroWords, Bytes(61)));
    const CaptureFileLayout layout = b.writeTo(dir.file("b3.cap"));

    auto result = run({"b3.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, familyReport("b3.cap", "B3", "01.01", "0x0003", 2, layout));
}

TEST_F(TrcinfoTest, B4ReportIsTheReadersReportWithCaptureTimes) {
    CaptureFileBuilder b = CaptureFileBuilder::b4();
    b.triggerPacketNumber = 7;
    b.records.push_back(CaptureFileBuilder::b4Record(1, 2, 3, 4, 0, kZeroWords, Bytes(60)));
    const CaptureFileLayout layout = b.writeTo(dir.file("b4.cap"));

    auto result = run({"b4.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, familyReport("b4.cap", "B4", "01.00", "0x0001", 1, layout));
}

TEST_F(TrcinfoTest, TcpdumpReportShowsTheGlobalHeaderAndNoRecords) {
    Bytes bytes = pcapHeader(false);
    bytes.resize(80, 0xEE);  // a packet record the reader never reads
    write("t.pcap", bytes);

    auto result = run({"t.pcap", "-records", "-tables"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output,
              "Filename           : t.pcap\n"
              "Signature          : 0xd4c3b2a1\n"
              "Format code        : X1\n"
              "Version            : 02.04\n"
              "Master Format flags: 0x0000\n"
              "Number of records  : 0\n"
              "Record length      : 0\n"
              "Offset to Data     : 24 (0x00000018)\n"
              "Description string : ''\n"
              "Offset to Index    : 0 (0x00000000)\n"
              "Last error code    : 0 = 'No error'\n"
              "\n"
              "Tables: none in a file of format X1\n"
              "\n"
              "Records: not listed; the reader of format X1 reads the header only\n"
              "\n");
}

TEST_F(TrcinfoTest, TablesOptionAddsTheFamilyTables) {
    CaptureFileBuilder b;
    b.sourceNames[0] = "POS,1A,Rx";
    b.sourceNames[5] = "ETH,2B,Tx";
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("b3.cap"));

    auto plain = run({"b3.cap"});
    auto result = run({"-tables", "b3.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    // The header report comes first and unchanged, then the tables.
    ASSERT_EQ(result.output.compare(0, plain.output.size(), plain.output), 0) << result.output;
    const std::string tables = result.output.substr(plain.output.size());
    EXPECT_EQ(
        tables.rfind("Header string      : '#Test header\n'\nRecord Type Table  : \n\n    3 0 ", 0),
        0u)
        << tables;
    EXPECT_NE(tables.find("\n  0: POS,1A,Rx\n  1: (none)\n"), std::string::npos);
    EXPECT_NE(tables.find("\n  5: ETH,2B,Tx\n"), std::string::npos);
    EXPECT_NE(tables.find("\n  255: (none)\n\n"), std::string::npos);
    EXPECT_EQ(tables.substr(tables.size() - 3), ")\n\n");
}

struct OpenFailure {
    const char* label;
    std::optional<Bytes> contents;  // nullopt: the file does not exist
    std::string expectedTail;       // after the ERROR line
};

void PrintTo(const OpenFailure& failure, std::ostream* os) {
    *os << failure.label;
}

Bytes cutFamilyFile(CaptureFileBuilder b, size_t size) {
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
    b.truncateAt = size;
    return b.build();
}

// A valid magic number and then too few bytes for the rest of the global header.
Bytes shortPcapHeader() {
    Bytes bytes = pcapHeader(true);
    bytes.resize(10);
    return bytes;
}

class OpenFailureTest : public TrcinfoTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, PrintsTheFactorysMessageAndFails) {
    const OpenFailure& failure = GetParam();
    if (failure.contents) {
        write("in.cap", *failure.contents);
    }
    auto result = run({"in.cap"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(result.output, "ERROR (openInputFile) - Failed to open file: 'in.cap'\nbecause: " +
                                 failure.expectedTail + "\n");
}

const std::string kNotFound = "File not found, already open or no read permission\n";
const std::string kNotRecognised = "File format not recognised or illegal version number\n";
const std::string kShortHeader = "Short or Corrupted capture file header section\n";
const std::string kShortFile = "Short or Corrupted capture file\n";

// The factory keeps the refusal of its last reader, the tcpdump one; the reason of a
// tester-family reader that recognised the file follows on a line of its own.
INSTANTIATE_TEST_SUITE_P(
    Trcinfo, OpenFailureTest,
    ::testing::Values(
        OpenFailure{"Missing", std::nullopt, kNotFound},
        OpenFailure{"Text", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'},
                    kNotRecognised},
        OpenFailure{"B3CutInSourceNameTable", cutFamilyFile(CaptureFileBuilder(), 1000),
                    kNotRecognised + "As a B3 file: " + kShortHeader},
        OpenFailure{"B4CutInRecordTypeTable", cutFamilyFile(CaptureFileBuilder::b4(), 40),
                    kNotRecognised + "As a B4 file: " + kShortHeader},
        OpenFailure{"B3CutInRecords", cutFamilyFile(CaptureFileBuilder(), 33400),
                    kNotRecognised + "As a B3 file: " + kShortHeader},
        OpenFailure{"Empty", Bytes{}, kShortFile},
        OpenFailure{"ThreeBytes", Bytes{'#', 'M', 'V'}, kShortFile},
        OpenFailure{"ShortPcapHeader", shortPcapHeader(), kShortFile},
        OpenFailure{"Pcapng",
                    ByteBuilder().u32(0x0a0d0d0a).u32(0x1c000000).u32(0x4d3c2b1a).fill(16).data(),
                    "it is a pcapng file; trcinfo reads pcap (tcpdump), B3 and B4 files\n"}),
    ::testing::PrintToStringParamName());

TEST_F(TrcinfoTest, EveryFileIsShownAndOneFailureFailsTheRun) {
    CaptureFileBuilder b;
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 0, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("a.cap"));
    const std::string report = run({"a.cap"}).output;

    auto both = run({"a.cap", "a.cap"});
    EXPECT_EQ(both.exitStatus, 0);
    EXPECT_EQ(both.output, report + report);

    auto mixed = run({"missing.cap", "a.cap"});
    EXPECT_EQ(mixed.exitStatus, kFailure);
    EXPECT_EQ(mixed.output,
              "ERROR (openInputFile) - Failed to open file: 'missing.cap'\nbecause: " + kNotFound +
                  "\n" + report);
}

// trc2pcap's outputs: its pcap files (nanosecond magic) open, its pcapng files are named as such.
TEST_F(TrcinfoTest, Trc2pcapOutputsOpenOrAreNamed) {
    CaptureFileBuilder b;
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 2, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("a.cap"));
    for (const char* output : {"a.pcap", "a.pcapng"}) {
        ASSERT_EQ(runProgram({trc2pcapPath(), "-in", dir.file("a.cap"), "-out", dir.file(output)})
                      .exitStatus,
                  0);
    }
    EXPECT_NE(
        run({"a.pcap"}).output.find("Signature          : 0x4d3cb2a1\nFormat code        : X1\n"),
        std::string::npos);
    EXPECT_NE(run({"-json", "a.pcap"}).output.find("\"nanosecond_timestamps\":true"),
              std::string::npos);
    EXPECT_NE(run({"a.pcapng"}).output.find("because: it is a pcapng file;"), std::string::npos);
}

// Texts of the file reach the terminal with their control bytes escaped.
struct ShownText {
    const char* name;
    std::string raw;
    std::string shown;         // in a text of several lines (description, tables)
    std::string shownOneLine;  // in a line of its own (the statistics' port names)
};

void PrintTo(const ShownText& c, std::ostream* os) {
    *os << c.name;
}

class ShownTextTest : public TrcinfoTest, public ::testing::WithParamInterface<ShownText> {};

TEST_P(ShownTextTest, ControlBytesAreEscaped) {
    const ShownText& c = GetParam();
    CaptureFileBuilder b;
    b.description = b.headerString = b.sourceNames[0] = c.raw;
    b.records.push_back(CaptureFileBuilder::b3Record(1, 2, 2, kZeroWords, Bytes(60)));
    b.writeTo(dir.file("odd.cap"));
    const std::string out = run({"-tables", "-stats", "odd.cap"}).output;
    for (const std::string& part :
         {"\nDescription string : '" + c.shown + "'\n",
          "\nHeader string      : '" + c.shown + "'\n", "\n  0: " + c.shown + "\n",
          "\n  port 0                    1  " + c.shownOneLine + "\n"}) {
        EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ShownTextTest,
    ::testing::Values(ShownText{"Controls", "a\x1b[31m\x07\x08\r\x7f",
                                "a\\x1b[31m\\x07\\x08\\x0d\\x7f", "a\\x1b[31m\\x07\\x08\\x0d\\x7f"},
                      ShownText{"C1ControlInUtf8",
                                "\xc2\x9b"
                                "2J",
                                "\\xc2\\x9b2J", "\\xc2\\x9b2J"},
                      ShownText{"NotUtf8", "\xff\xc0\xaf\xed\xa0\x80 end\xe2\x82",
                                "\\xff\\xc0\\xaf\\xed\\xa0\\x80 end\\xe2\\x82",
                                "\\xff\\xc0\\xaf\\xed\\xa0\\x80 end\\xe2\\x82"},
                      ShownText{"Utf8Kept", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
                                "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
                                "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
                      ShownText{"Backslash", "C:\\x1b", "C:\\\\x1b", "C:\\\\x1b"},
                      ShownText{"LayoutKept", "one\ttwo\nthree", "one\ttwo\nthree",
                                "one\\x09two\\x0athree"}),
    ::testing::PrintToStringParamName());

TEST_F(TrcinfoTest, FileNamesAreEscapedToo) {
    EXPECT_EQ(run({"gone\x1b[2J.cap"}).output,
              "ERROR (openInputFile) - Failed to open file: 'gone\\x1b[2J.cap'\nbecause: " +
                  kNotFound + "\n");
}

}  // namespace
