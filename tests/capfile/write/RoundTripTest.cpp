#include "WriterTestHelpers.h"

using namespace writertest;

namespace {

constexpr uint32_t kRecords = 10000;

// Record i: frame lengths spread over 0..1500 (six of them empty), every port byte value,
// all layer-2 codes, extension words that differ in every byte.
RecordValues valuesOf(uint32_t i) {
    return {1000000 + i * 3,
            (i * 7919u) % 1000000000u,
            static_cast<uint8_t>(i),
            static_cast<uint8_t>(i * 13),
            static_cast<uint8_t>(i % 3),
            i * 0x01010101u,
            ~i};
}

Bytes frameOf(uint32_t i) {
    Bytes frame((i * 2654435761u) % 1501);
    for (size_t k = 0; k < frame.size(); ++k) {
        frame[k] = static_cast<uint8_t>(i + k * 31);
    }
    return frame;
}

class RoundTripTest : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTripTest, TenThousandRecordsReadBackByTheReaders) {
    const Format format = GetParam();
    TempDir dir;
    const std::string path = dir.file("round.cap");
    auto writer = makeWriter(format);
    ASSERT_TRUE(writer->open(path, "Merged records"));
    for (uint32_t i = 0; i < kRecords; ++i) {
        ASSERT_TRUE(writeData(*writer, format, valuesOf(i), frameOf(i))) << i;
    }
    writer->close();
    ASSERT_FALSE(writer->hasFailed());

    auto parser = makeReader(format);
    ASSERT_TRUE(parser->open(path)) << parser->errorMessage();
    ASSERT_EQ(parser->numberOfRecords, kRecords);
    CXcfCaptureRecord r;
    for (uint32_t i = 0; i < kRecords; ++i) {
        const RecordValues v = valuesOf(i);
        const Bytes frame = frameOf(i);
        // Records without frame bytes are written, but the readers refuse them.
        ASSERT_EQ(parser->readRecord(i + 1, r), !frame.empty()) << i;
        if (frame.empty()) {
            continue;
        }
        ASSERT_EQ(r.getTimestampSeconds(), v.seconds) << i;
        ASSERT_EQ(r.getTimestampNanoseconds(), v.nanoseconds) << i;
        ASSERT_EQ(r.getLayer2Type(), v.layer2Type) << i;
        ASSERT_EQ(r.getExtensionLength(), layout::kExtensionWordsSize) << i;
        ASSERT_EQ(r.getExtensionWord0(), v.word0) << i;
        ASSERT_EQ(r.getExtensionWord1(), v.word1) << i;
        if (format == Format::B4) {
            ASSERT_EQ(r.getPortByte(), v.portByte) << i;
            ASSERT_EQ(r.getStatusByte(), v.statusByte) << i;
            ASSERT_EQ(r.isFrameGood(), (v.portByte & layout::kDamagedFrameBit) == 0) << i;
        }
        ASSERT_EQ(Bytes(r.getFrame(), r.getFrame() + r.getFrameLength()), frame) << i;
    }
}

INSTANTIATE_FOR_BOTH_FORMATS(RoundTripTest);

}  // namespace
