#include <regex>

#include "WriterTestHelpers.h"

using namespace writertest;

namespace {

constexpr size_t kSourceNames = 543;
constexpr size_t kHeaderString = 33311;

class HeaderWriteTest : public ::testing::TestWithParam<Format> {
  protected:
    Format format = GetParam();
    bool b3 = format == Format::B3;
    TempDir dir;
    std::string out = dir.file("out.cap");
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer = makeWriter(format);
};

TEST_P(HeaderWriteTest, LaysOutEveryFieldAndTheCaptureTimesAfterSetters) {
    ASSERT_TRUE(writer->open(out, "Merged records"));
    CXcfTimeOfDay start, stop;
    start.set(1, 2, 3000);
    stop.set(23, 59, 59999);
    writer->setCaptureStartTimeOfDay(start);
    writer->setCaptureStopTimeOfDay(stop);
    writer->setCaptureStopTimestamp(5, 1500000000);
    writer->setTriggerPacketNumber(0x01020304);
    writer->close();
    EXPECT_FALSE(writer->hasFailed());

    const Bytes b = readFile(out);
    EXPECT_EQ(text(b, 0, 13), b3 ? "#MVCF:B301.01" : "#MVCF:B401.00");
    EXPECT_EQ(be32At(b, 13), 0u);  // number of records
    EXPECT_EQ(be32At(b, 17), 0u);  // record length
    EXPECT_EQ(be16At(b, 21), b3 ? 3u : 1u);
    EXPECT_EQ(be32At(b, 23), b.size());  // data start: the end of a file without records
    EXPECT_EQ(be32At(b, 27), 0u);        // no index
    EXPECT_EQ(slice(b, 31, 512), ByteBuilder().u16(b3 ? 3 : 4).fill(510).data());
    EXPECT_EQ(slice(b, kSourceNames, 32768),
              ByteBuilder().counted("POS,1A,Rx").fill(32768 - 11).data());

    const size_t headerLength = be16At(b, kHeaderString);
    const std::string header = text(b, kHeaderString + 2, headerLength);
    EXPECT_TRUE(std::regex_match(
        header, std::regex(std::string("#Corvane Technologies Capture Data File\n#Format : ") +
                           (b3 ? "B3\n#Version: 01\\.01" : "B4\n#Version: 01\\.00") +
                           "\n#Date created: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                           "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                           "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n" +
                           (b3 ? "#Module: POS\n#Port: 1A\n#Direction: Rx\n"
                               : "#PortType list: POS\n#PortId list: 1A\n#Direction list: Rx\n"))))
        << header;

    const size_t at = kHeaderString + 2 + headerLength;
    ASSERT_EQ(b.size(), at + 31 + 24) << "the file ends after the capture times block";
    EXPECT_EQ(slice(b, at, 31), ByteBuilder().counted("#Description: Merged records\n").data());
    ByteBuilder times;  // the stop timestamp normalised by its setter
    times.u16(1).u16(2).u16(3000).u16(23).u16(59).u16(59999).u32(6).u32(500000000);
    EXPECT_EQ(slice(b, at + 31, 24), times.u32(0x01020304).data());
    EXPECT_FALSE(fileExists(out + ".idx"));
}

// Values set before open are only stored, then laid out by the header as placeholders.
TEST_P(HeaderWriteTest, SettersBeforeOpenOnlyStoreTheirValues) {
    writer->setTriggerPacketNumber(77);
    writer->setCaptureStopTimestamp(CXcfTimestamp(9, 8));
    writer->setSourceName(1, std::string(200, 'n'));
    EXPECT_FALSE(writer->hasFailed());
    EXPECT_EQ(writer->lastErrorCode, 0);
    ASSERT_TRUE(writer->open(out, ""));
    writer->close();
    const Bytes b = readFile(out);
    EXPECT_EQ(slice(b, b.size() - 12, 12), ByteBuilder().u32(9).u32(8).u32(77).data());
    EXPECT_EQ(slice(b, kSourceNames + 128, 128),
              ByteBuilder().counted(std::string(120, 'n')).fill(6).data());
}

// A refused open leaves no file, and the second close (and setters after close) change
// nothing in a finished file.
TEST_P(HeaderWriteTest, RefusedOpenAndRepeatedClose) {
    EXPECT_FALSE(writer->open("", "x"));
    EXPECT_FALSE(writer->open(dir.file("missing/out.cap"), "x"));
    EXPECT_FALSE(fileExists(dir.file("missing/out.cap.idx")));
    writer->close();
    EXPECT_FALSE(writer->hasFailed());

    ASSERT_TRUE(writer->open(out, "d"));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(10, 0x11)));
    writer->close();
    const Bytes first = readFile(out);
    writer->setTriggerPacketNumber(5);
    writer->close();
    EXPECT_EQ(readFile(out), first);
    EXPECT_FALSE(writer->hasFailed());
    EXPECT_FALSE(writeData(*writer, format, {}, Bytes(1)));
}

INSTANTIATE_FOR_BOTH_FORMATS(HeaderWriteTest);

}  // namespace
