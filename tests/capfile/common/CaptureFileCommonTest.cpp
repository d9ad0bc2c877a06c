#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>
#include <string>
#include <utility>

#include "capfile/common/CXcfCaptureFileCommon.h"

namespace {

// The base class is concrete enough to test; derived readers only fill its members.
class FileState : public CXcfCaptureFileCommon {
  public:
    using CXcfCaptureFileCommon::openInputStream;
    using CXcfCaptureFileCommon::setError;
};

TEST(CaptureFileCommonTest, NewObjectReportsTheResetState) {
    FileState state;
    EXPECT_EQ(state.report(),
              "Filename           : \n"
              "Signature          : \n"
              "Format code        : \n"
              "Version            : 00.00\n"
              "Master Format flags: 0x0000\n"
              "Number of records  : 0\n"
              "Record length      : 0\n"
              "Offset to Data     : 0 (0x00000000)\n"
              "Description string : ''\n"
              "Offset to Index    : 0 (0x00000000)\n"
              "Last error code    : 0 = 'No error'\n"
              "\n");
}

TEST(CaptureFileCommonTest, ReportCarriesValuesAndExtraTextAfterTheErrorLine) {
    FileState state;
    state.fileName = "a.cap";
    state.signature = "#MVCF:";
    state.formatCode = "B3";
    state.versionMajor = 1;
    state.versionMinor = 1;
    state.masterFormatFlags = 3;
    state.numberOfRecords = 7;
    state.offsetToData = 420;
    state.offsetToIndex = 0xFFFFFFFF;
    state.description = "d";
    state.lastErrorCode = 4;
    EXPECT_EQ(state.report("X: 1\n"),
              "Filename           : a.cap\n"
              "Signature          : #MVCF:\n"
              "Format code        : B3\n"
              "Version            : 01.01\n"
              "Master Format flags: 0x0003\n"
              "Number of records  : 7\n"
              "Record length      : 0\n"
              "Offset to Data     : 420 (0x000001A4)\n"
              "Description string : 'd'\n"
              "Offset to Index    : 4294967295 (0xFFFFFFFF)\n"
              "Last error code    : 4 = 'Short or Corrupted capture file'\n"
              "X: 1\n"
              "\n");
}

TEST(CaptureFileCommonTest, ResetKeepsSignatureAndFormatCodeOnly) {
    FileState state;
    state.signature = "#MVCF:";
    state.formatCode = "B4";
    state.fileName = "x";
    state.description = "y";
    state.fileSize = 5;
    state.lastErrorCode = 3;
    state.versionMajor = state.versionMinor = 2;
    state.masterFormatFlags = 1;
    state.numberOfRecords = state.recordLength = state.offsetToData = state.offsetToIndex = 9;
    state.reset();
    EXPECT_EQ(state.signature, "#MVCF:");
    EXPECT_EQ(state.getFormatCode(), "B4");
    EXPECT_EQ(state.getFileName(), "");
    EXPECT_EQ(state.description, "");
    EXPECT_EQ(state.fileSize, 0);
    EXPECT_EQ(state.lastErrorCode, 0);
    EXPECT_EQ(state.formatVersionText(), "00.00");
    EXPECT_EQ(state.masterFormatFlags, 0);
    EXPECT_EQ(state.numberOfRecords + state.recordLength + state.offsetToData + state.offsetToIndex,
              0u);
}

TEST(CaptureFileCommonTest, VersionTextPadsToTwoDigitsAndNeverCuts) {
    FileState state;
    state.versionMajor = 123;
    state.versionMinor = 4;
    EXPECT_EQ(state.formatVersionText(), "123.04");
}

TEST(CaptureFileCommonTest, FlagAccessorsTestTheirOwnBit) {
    FileState state;
    state.masterFormatFlags = 0x0001;
    EXPECT_TRUE(state.hasIndexFlag());
    EXPECT_FALSE(state.hasFormatFlag1());
    EXPECT_FALSE(state.hasFormatFlag2());
    state.masterFormatFlags = 0xFFFE;
    EXPECT_FALSE(state.hasIndexFlag());
    EXPECT_TRUE(state.hasFormatFlag1());
    EXPECT_TRUE(state.hasFormatFlag2());
}

TEST(CaptureFileCommonTest, ErrorTextsAreExact) {
    EXPECT_EQ(xcf::errorText(0), "No error");
    EXPECT_EQ(xcf::errorText(1), "File not found, already open or no read permission");
    EXPECT_EQ(xcf::errorText(2), "File format not recognised or illegal version number");
    EXPECT_EQ(xcf::errorText(3), "Short or Corrupted capture file header section");
    EXPECT_EQ(xcf::errorText(4), "Short or Corrupted capture file");
    EXPECT_EQ(xcf::errorText(5), "File write failure, check permissions");
    EXPECT_EQ(xcf::errorText(6), "UNKOWN_FORMAT");
    FileState state;
    state.lastErrorCode = 2;
    EXPECT_EQ(state.errorMessage(), xcf::errorText(2));
}

TEST(CaptureFileCommonTest, FormatTypeLookupsStopAtTheKnownTypes) {
    FileState state;
    int32_t type = -1;
    EXPECT_TRUE(state.formatTypeAt(2, type));
    EXPECT_EQ(type, 2);
    EXPECT_FALSE(state.formatTypeAt(3, type));
    EXPECT_EQ(type, 3);

    uint32_t index = 99;
    EXPECT_TRUE(state.formatTypeIndex(1, index));
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(state.formatTypeIndex(7, index));
    EXPECT_EQ(index, 3u);
    EXPECT_FALSE(state.formatTypeIndex(3, index));

    std::string name = "stale";
    EXPECT_TRUE(state.formatName(0, name));
    EXPECT_EQ(name, "B3");
    EXPECT_TRUE(state.formatName(2, name));
    EXPECT_EQ(name, "T1");
    EXPECT_FALSE(state.formatName(3, name));
    EXPECT_EQ(name, "");
}

struct NameCase {
    const char* name;
    bool found;
    int32_t type;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class FormatTypeFromNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FormatTypeFromNameTest, MapsOnlyTheExactKnownNames) {
    FileState state;
    int32_t type = -1;
    EXPECT_EQ(state.formatTypeFromName(GetParam().name, type), GetParam().found);
    EXPECT_EQ(type, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(Names, FormatTypeFromNameTest,
                         ::testing::Values(NameCase{"B3", true, 0}, NameCase{"B4", true, 1},
                                           NameCase{"T1", true, 2}, NameCase{"b3", false, 3},
                                           NameCase{"X1", false, 3},
                                           NameCase{"UNKOWN_FORMAT", false, 3},
                                           NameCase{"", false, 3}));

TEST(HexTextTest, FormsAndLimits) {
    EXPECT_EQ(xcf::hexText(420, 8, true), "0x000001A4");
    EXPECT_EQ(xcf::hexText(3, 4, true), "0x0003");
    EXPECT_EQ(xcf::hexText(31, 1, true), "0xF");
    EXPECT_EQ(xcf::hexText(0xABCDEF12, 8, false), "ABCDEF12");
    EXPECT_EQ(xcf::hexText(5, 0, true), "??");
    EXPECT_EQ(xcf::hexText(5, 9, true), "??");
}

TEST(CaptureFileCommonTest, ErrorCodesOutsideTheTableReadAsUnknown) {
    EXPECT_EQ(xcf::errorText(-1), "UNKOWN_FORMAT");
    EXPECT_EQ(xcf::errorText(7), "UNKOWN_FORMAT");
}

// A detail describes only the failure it was given with: once the code changes, it is gone.
TEST(CaptureFileCommonTest, DetailHoldsOnlyWhileItsCodeDoes) {
    FileState state;
    state.setError(4, "record 7 too short");
    EXPECT_EQ(state.lastErrorDetail(), "record 7 too short");
    state.lastErrorCode = 3;
    EXPECT_EQ(state.lastErrorDetail(), "");
    state.lastErrorCode = 4;
    EXPECT_EQ(state.lastErrorDetail(), "record 7 too short");
    state.setError(0, "none");
    EXPECT_EQ(state.lastErrorDetail(), "");
}

TEST(CaptureFileCommonTest, OpenOutcomeOfEachCode) {
    using Outcome = CXcfCaptureFileCommon::OpenOutcome;
    const std::pair<int32_t, Outcome> cases[] = {
        {0, Outcome::kOpened},  {1, Outcome::kFileNotFound}, {2, Outcome::kNotThisFormat},
        {3, Outcome::kBroken},  {4, Outcome::kBroken},       {5, Outcome::kBroken},
        {-1, Outcome::kBroken},
    };
    FileState state;
    for (const auto& [code, outcome] : cases) {
        state.lastErrorCode = code;
        EXPECT_EQ(state.openOutcome(), outcome) << code;
    }
}

// The cause handed on from another file object wins over the object's own streams.
TEST(CaptureFileCommonTest, SystemErrorPrefersTheOneHandedOn) {
    FileState state;
    EXPECT_EQ(state.systemError(), 0);
    state.fileName = "/no/such/file";
    EXPECT_FALSE(state.openInputStream());
    EXPECT_EQ(state.systemError(), ENOENT);
    state.lastSystemError = EMFILE;
    EXPECT_EQ(state.systemError(), EMFILE);
}

struct PrintableCase {
    std::string bytes;
    std::string text;
};

class PrintableTextTest : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableTextTest, EscapesAllButPrintableAscii) {
    EXPECT_EQ(xcf::printableText(GetParam().bytes.data(), GetParam().bytes.size()),
              GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Texts, PrintableTextTest,
                         ::testing::Values(PrintableCase{"", ""}, PrintableCase{" az~", " az~"},
                                           PrintableCase{"a\\b", "a\\\\b"},
                                           PrintableCase{std::string("\0\x1f\x7f\x80\xff\n", 6),
                                                         "\\x00\\x1f\\x7f\\x80\\xff\\x0a"}));

}  // namespace
