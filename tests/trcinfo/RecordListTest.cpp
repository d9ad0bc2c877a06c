// The record listing: its fields for both record layouts, ranges, hex bytes, and records
// that cannot be read.
#include <string>

#include "trcinfo/TrcinfoFixture.h"

using namespace trcinfotest;

namespace {

const std::string kTitles =
    "  Record     Seconds  Nanoseconds  Port  Good  Status   L2  ExtLen  FrameLen";

class RecordListTest : public TrcinfoTest {
  protected:
    // Five B4 records: record k has seconds 100 + k, nanoseconds k * 1000, a frame of
    // 20 + k bytes counting up from k; record 3 is a damaged frame.
    void writeB4(const std::string& name) {
        CaptureFileBuilder b = CaptureFileBuilder::b4();
        for (uint32_t k = 1; k <= 5; ++k) {
            const uint8_t port =
                static_cast<uint8_t>(k == 3 ? xcf::layout::kDamagedFrameBit | k : 0x20 | k);
            b.records.push_back(CaptureFileBuilder::b4Record(
                100 + k, k * 1000, port, static_cast<uint8_t>(0x10 + k), 2, kZeroWords,
                CaptureFileBuilder::pattern(20 + k, static_cast<uint8_t>(k))));
        }
        b.writeTo(dir.file(name));
    }
    // What follows the header report: the listing alone.
    std::string listing(const std::vector<std::string>& args, const std::string& name) {
        const std::string report = run({name}).output;
        auto result = run(args);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        if (result.output.compare(0, report.size(), report) != 0) {
            return "<report missing>\n" + result.output;
        }
        return result.output.substr(report.size());
    }
};

TEST_F(RecordListTest, RangeOfB4RecordsWithEveryField) {
    writeB4("b4.cap");
    EXPECT_EQ(listing({"b4.cap", "-start", "2", "-num", "2"}, "b4.cap"),
              "Records 2 to 3 of 5:\n" + kTitles + "\n" +
                  "       2         102         2000  0x22   yes    0x12    2       8        22\n"
                  "       3         103         3000  0x83    no    0x13    2       8        23\n"
                  "\n");
}

TEST_F(RecordListTest, HexShowsLeadingFrameBytesAndNeverMoreThanTheFrame) {
    writeB4("b4.cap");
    const std::string all = listing({"-hex", "4", "b4.cap"}, "b4.cap");
    EXPECT_EQ(all.substr(0, all.find('\n', all.find('\n') + 1) + 1),
              "Records 1 to 5 of 5:\n" + kTitles + "  Frame\n");
    EXPECT_NE(
        all.find("\n       1         101         1000  0x21   yes    0x11    2       8        "
                 "21  01 02 03 04\n"),
        std::string::npos)
        << all;
    EXPECT_NE(all.find("  25  05 06 07 08\n\n"), std::string::npos) << all;

    // A count beyond the frame shows the whole frame, and only it.
    const std::string whole = listing({"b4.cap", "-num", "1", "-hex", "1000"}, "b4.cap");
    std::string frame;
    for (int value = 1; value <= 21; ++value) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", value);
        frame += hex;
    }
    EXPECT_NE(whole.find("  21 " + frame + "\n\n"), std::string::npos) << whole;
}

TEST_F(RecordListTest, B3RecordsAreClippedAtTheLastRecord) {
    CaptureFileBuilder b;
    for (uint32_t k = 1; k <= 5; ++k) {
        b.records.push_back(CaptureFileBuilder::b3Record(200 + k, k, 1, kZeroWords, Bytes(60 + k)));
    }
    b.writeTo(dir.file("b3.cap"));
    EXPECT_EQ(listing({"b3.cap", "-start", "4", "-num", "10"}, "b3.cap"),
              "Records 4 to 5 of 5:\n" + kTitles + "\n" +
                  "       4         204            4  0x00   yes    0x00    1       8        64\n"
                  "       5         205            5  0x00   yes    0x00    1       8        65\n"
                  "\n");
    // -records alone lists them all; a start past the end lists none.
    EXPECT_NE(listing({"-records", "b3.cap"}, "b3.cap").find("Records 1 to 5 of 5:\n"),
              std::string::npos);
    EXPECT_EQ(listing({"b3.cap", "-start", "6"}, "b3.cap"),
              "WARNING (listRecords) - Requested first record 6 > 5, the total number of records "
              "in the source file.\n\n");
}

TEST_F(RecordListTest, AnUnreadableRecordIsReportedAndEndsTheListing) {
    CaptureFileBuilder b;
    for (uint32_t k = 1; k <= 4; ++k) {
        b.records.push_back(CaptureFileBuilder::b3Record(k, 0, 1, kZeroWords, Bytes(60)));
    }
    // Record 4 said to start inside the header gives record 3 a negative extent.
    b.indexOverrides[4] = 20;
    const CaptureFileLayout layout = b.writeTo(dir.file("bad.cap"));
    const std::string text = listing({"bad.cap", "-records"}, "bad.cap");
    EXPECT_NE(text.find("\n       2           2            0"), std::string::npos) << text;
    // The cause names the record, where it lies and what the index makes of it.
    EXPECT_EQ(text.substr(text.find("WARNING")),
              "WARNING (listRecords) - Stopped reading file: 'bad.cap' at record 3 of 4; the "
              "records after it were not listed.\n"
              "because: Short or Corrupted capture file: record 3 at offset " +
                  std::to_string(layout.recordOffsets[2]) +
                  " ends at offset 20 by the index, before it starts\n\n");
}

TEST_F(RecordListTest, AFileWithoutRecordsSaysSo) {
    CaptureFileBuilder b;
    b.writeTo(dir.file("none.cap"));
    EXPECT_EQ(listing({"none.cap", "-records"}, "none.cap"), "Records: none\n\n");
}

}  // namespace
