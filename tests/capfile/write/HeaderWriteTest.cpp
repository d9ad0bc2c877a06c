#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "WriterTestHelpers.h"

using namespace testsupport;
using namespace writertest;

namespace {

constexpr size_t kSourceNameTableOffset = 543;
constexpr size_t kHeaderStringOffset = 33311;

std::string textAt(const Bytes& b, size_t offset, size_t length) {
    return std::string(b.begin() + static_cast<long>(offset),
                       b.begin() + static_cast<long>(offset + length));
}

class HeaderWriteTest : public ::testing::TestWithParam<Format> {
  protected:
    TempDir dir;
    std::string out = dir.file("out.cap");
};

TEST_P(HeaderWriteTest, LaysOutEveryFieldAndTheCaptureTimesAfterSetters) {
    const Format format = GetParam();
    const bool b3 = format == Format::B3;
    auto writer = makeWriter(format);
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
    EXPECT_EQ(textAt(b, 0, 13), b3 ? "#MVCF:B301.01" : "#MVCF:B401.00");
    EXPECT_EQ(be32At(b, 13), 0u);            // number of records
    EXPECT_EQ(be32At(b, 17), 0u);            // record length
    EXPECT_EQ(be16At(b, 21), b3 ? 3u : 1u);  // flags
    EXPECT_EQ(be32At(b, 23), b.size());      // data start = end of header
    EXPECT_EQ(be32At(b, 27), 0u);            // no index
    EXPECT_EQ(be16At(b, 31), b3 ? 3u : 4u);  // record type entry 0
    for (size_t i = 1; i < 256; ++i) {
        ASSERT_EQ(be16At(b, 31 + 2 * i), 0u) << i;
    }
    EXPECT_EQ(be16At(b, kSourceNameTableOffset), 9u);
    EXPECT_EQ(textAt(b, kSourceNameTableOffset + 2, 9), "POS,1A,Rx");
    for (size_t i = kSourceNameTableOffset + 11; i < kHeaderStringOffset; ++i) {
        ASSERT_EQ(b[i], 0) << i;
    }

    const size_t headerLength = be16At(b, kHeaderStringOffset);
    const std::string header = textAt(b, kHeaderStringOffset + 2, headerLength);
    EXPECT_EQ(header, writer->headerString);
    const std::string tail = b3 ? "#Module: POS\n#Port: 1A\n#Direction: Rx\n"
                                : "#PortType list: POS\n#PortId list: 1A\n#Direction list: Rx\n";
    const std::regex expected("#Corvane Technologies Capture Data File\n#Format : " +
                              formatName(format) + "\n#Version: " + (b3 ? "01\\.01" : "01\\.00") +
                              "\n#Date created: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                              "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                              "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n" +
                              tail);
    EXPECT_TRUE(std::regex_match(header, expected)) << header;

    size_t at = kHeaderStringOffset + 2 + headerLength;
    const std::string description = "#Description: Merged records\n";
    EXPECT_EQ(be16At(b, at), description.size());
    EXPECT_EQ(textAt(b, at + 2, description.size()), description);
    at += 2 + description.size();

    ASSERT_EQ(b.size(), at + 24) << "file ends after the capture times block";
    const Bytes times = ByteBuilder()
                            .u16(1)
                            .u16(2)
                            .u16(3000)
                            .u16(23)
                            .u16(59)
                            .u16(59999)
                            .u32(6)
                            .u32(500000000)
                            .u32(0x01020304)
                            .data();
    EXPECT_EQ(Bytes(b.begin() + static_cast<long>(at), b.end()), times);
    EXPECT_FALSE(fileExists(out + ".idx"));
}

// Values stored before open are only kept, then laid out as the header's placeholders.
TEST_P(HeaderWriteTest, SettersBeforeOpenOnlyStoreTheirValues) {
    auto writer = makeWriter(GetParam());
    writer->setTriggerPacketNumber(77);
    writer->setCaptureStopTimestamp(CXcfTimestamp(9, 8));
    writer->setSourceName(1, std::string(200, 'n'));
    EXPECT_FALSE(writer->hasFailed());
    EXPECT_EQ(writer->lastErrorCode, 0);
    ASSERT_TRUE(writer->open(out, ""));
    writer->close();
    const Bytes b = readFile(out);
    EXPECT_EQ(be32At(b, b.size() - 4), 77u);
    EXPECT_EQ(be32At(b, b.size() - 12), 9u);
    EXPECT_EQ(be32At(b, b.size() - 8), 8u);
    EXPECT_EQ(be16At(b, kSourceNameTableOffset + 128), 120u);
    EXPECT_EQ(textAt(b, kSourceNameTableOffset + 130, 120), std::string(120, 'n'));
}

TEST_P(HeaderWriteTest, OpenRefusesUnusableNamesAndLeavesNoFile) {
    auto writer = makeWriter(GetParam());
    EXPECT_FALSE(writer->open("", "x"));
    EXPECT_FALSE(writer->open(dir.file("missing/out.cap"), "x"));
    EXPECT_FALSE(fileExists(dir.file("missing/out.cap.idx")));
    writer->close();
    writer->close();
    EXPECT_FALSE(writer->hasFailed());
}

// The second close, and setters after close, leave the file as the first close left it.
TEST_P(HeaderWriteTest, CloseTwiceChangesNothing) {
    const Format format = GetParam();
    auto writer = makeWriter(format);
    ASSERT_TRUE(writer->open(out, "d"));
    ASSERT_TRUE(writeData(*writer, format, {}, Bytes(10, 0x11)));
    writer->close();
    const Bytes first = readFile(out);
    writer->setTriggerPacketNumber(5);
    writer->close();
    EXPECT_EQ(readFile(out), first);
    EXPECT_FALSE(writer->hasFailed());
    EXPECT_FALSE(fileExists(out + ".idx"));
    EXPECT_FALSE(writeData(*writer, format, {}, Bytes(1)));
}

INSTANTIATE_TEST_SUITE_P(Formats, HeaderWriteTest, ::testing::Values(Format::B3, Format::B4),
                         [](const auto& info) { return std::string(paramName(info.param)); });

}  // namespace
