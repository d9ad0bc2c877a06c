#include "PmReaderFixture.h"

using namespace pmreader;

namespace {

class PmReaderRecords : public PmReaderTest {
  protected:
    // Checks that the record just read is record k of addRecords with the given frame length.
    void expectRecord(uint32_t k, size_t frameLength = 20) {
        SCOPED_TRACE("record " + std::to_string(k));
        EXPECT_EQ(record.getTimestampSeconds(), k);
        ASSERT_EQ(record.getFrameLength(), frameLength);
        EXPECT_EQ(Bytes(record.getFrame(), record.getFrame() + frameLength),
                  CaptureFileBuilder::pattern(frameLength, static_cast<uint8_t>(k)));
    }
};

TEST_P(PmReaderRecords, FixedLengthRecordsAreFoundByArithmetic) {
    const size_t length = writtenFieldsSize(GetParam()) + 47;
    builder.recordLength = static_cast<uint32_t>(length);
    builder.writeIndex = false;
    addRecords(10, 47);
    ASSERT_TRUE(openBuilt());
    uint32_t offset = 0;
    EXPECT_TRUE(reader->recordOffset(3, offset));
    EXPECT_EQ(offset, layout.data + 2 * length);
    EXPECT_FALSE(reader->recordOffset(0, offset));
    EXPECT_FALSE(reader->recordOffset(11, offset));
    EXPECT_EQ(reader->recordSize(10), length);
    EXPECT_EQ(reader->recordSize(11), 0u);
    for (uint32_t k = 1; k <= 10; ++k) {
        ASSERT_EQ(reader->readNextRecord(record), k);
        expectRecord(k, 47);
    }
    EXPECT_EQ(reader->readNextRecord(record), 0u);
    EXPECT_EQ(reader->currentRecord, 11u);
}

TEST_P(PmReaderRecords, TheLastRecordEndsWhereTheIndexBegins) {
    addRecords(3);
    builder.records[1] = recordFor(GetParam(), 2, 100);
    ASSERT_TRUE(openBuilt());
    EXPECT_EQ(reader->recordSize(2), writtenFieldsSize(GetParam()) + 100);
    EXPECT_EQ(reader->recordSize(3), reader->offsetToIndex - layout.recordOffsets[2]);
    EXPECT_EQ(readCode(2), -1);
    expectRecord(2, 100);
}

// Frames larger than the reader's read-ahead block take another road than small ones; both
// must deliver the same bytes, in order and out of order, and a failed read must leave the
// record as it was.
TEST_P(PmReaderRecords, LargeAndSmallRecordsReadAlikeInAnyOrder) {
    const size_t large = 300 * 1024;
    addRecords(4);
    builder.records[1] = recordFor(GetParam(), 2, large);
    ASSERT_TRUE(openBuilt());
    for (uint32_t k : {1u, 2u, 3u, 2u, 4u, 1u, 3u}) {
        ASSERT_EQ(readCode(k), -1) << "record " << k;
        expectRecord(k, k == 2 ? large : 20);
    }
    EXPECT_FALSE(reader->readRecord(5, record));
    expectRecord(3);
}

// Windows of 1000 offsets move forward as records are read in order and jump for any record
// outside them.
TEST_P(PmReaderRecords, IndexWindowsFollowTheReadsAcross2500Records) {
    addRecords(2500, 3);
    ASSERT_TRUE(openBuilt());
    EXPECT_EQ(reader->getIndexWindowFirst(), 1u);
    EXPECT_EQ(reader->getIndexWindowLast(), 1000u);
    std::vector<uint32_t> windowStarts;
    for (uint32_t k = 1; k <= 2500; ++k) {
        const uint32_t before = reader->getIndexWindowFirst();
        ASSERT_EQ(readCode(k), -1) << k;
        expectRecord(k, 3);
        if (reader->getIndexWindowFirst() != before) {
            windowStarts.push_back(reader->getIndexWindowFirst());
        }
    }
    // The size of record 1000 needs record 1001's offset; record 2500 tries a window at 2501.
    EXPECT_EQ(windowStarts, (std::vector<uint32_t>{1001, 2001, 0}));
    EXPECT_EQ(reader->getIndexWindowLast(), 0u);

    ASSERT_EQ(readCode(1), -1);
    EXPECT_EQ(reader->getIndexWindowFirst(), 1u);
    ASSERT_EQ(readCode(2222), -1);
    expectRecord(2222, 3);
    EXPECT_EQ(reader->getIndexWindowFirst(), 2222u);
    EXPECT_EQ(reader->getIndexWindowLast(), 2500u);

    EXPECT_TRUE(reader->loadIndexCache(2000));
    EXPECT_EQ(reader->getIndexWindowLast(), 2500u);
    EXPECT_FALSE(reader->loadIndexCache(2501));
    EXPECT_EQ(reader->getIndexWindowFirst(), 0u);
    uint32_t offset = 1;
    EXPECT_FALSE(reader->lookupRecordOffset(2501, offset));
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(reader->readIndexEntry(1234), layout.recordOffsets[1233]);
}

// A damaged index must neither bring header or index bytes into a record nor make the reader
// allocate beyond the file: the records it touches fail with code 4, the others read.
TEST_P(PmReaderRecords, DamagedIndexEntriesFailOnlyTheRecordsTheyTouch) {
    addRecords(6);
    const CaptureFileLayout clean = builder.writeTo(path);
    struct Case {
        const char* what;
        uint32_t entry3;
        std::vector<int32_t> codes;  // per record 1..6
    };
    const uint32_t r2 = clean.recordOffsets[1];
    for (const Case& c : {
             Case{"into the header", 100, {-1, 4, 4, -1, -1, -1}},
             Case{"beyond the file", 0xFFFFFF00u, {-1, 4, 4, -1, -1, -1}},
             Case{"into the index",
                  static_cast<uint32_t>(clean.index + xcf::layout::kIndexEntrySize),
                  {-1, 4, 4, -1, -1, -1}},
             Case{"before its predecessor", r2 - 1, {-1, 4, -1, -1, -1, -1}},
         }) {
        SCOPED_TRACE(c.what);
        builder.indexOverrides = {{3, c.entry3}};
        ASSERT_TRUE(openBuilt());
        for (uint32_t k = 1; k <= 6; ++k) {
            EXPECT_EQ(readCode(k), c.codes[k - 1]) << "record " << k;
        }
        if (c.entry3 < r2) {
            EXPECT_EQ(reader->recordSize(2), 0u);  // a negative size is none
        }
    }
    builder.indexOverrides = {{6, 5}};
    ASSERT_TRUE(openBuilt());
    EXPECT_EQ(readCode(5), 4);
    EXPECT_EQ(readCode(6), 4);
}

// An index section cut short ends the records that can be read where an entry is missing
// (a record's length needs the next entry), and a failed read changes nothing for the others:
// whatever the order of the reads, each record gives the same outcome.
TEST_P(PmReaderRecords, AShortIndexSectionEndsTheRecordsInAnyOrderOfReads) {
    addRecords(5);
    builder.indexEntriesWritten = 3;
    const std::vector<int32_t> outcome = {-1, -1, 4, 4, 4};  // records 1 to 5
    const std::vector<std::vector<uint32_t>> orders = {
        {1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}, {3, 1, 5, 2, 4, 1}, {4, 2, 2, 3, 1}};
    for (const auto& order : orders) {
        ASSERT_TRUE(openBuilt());
        EXPECT_EQ(reader->readIndexEntry(4), 0u);
        for (uint32_t k : order) {
            EXPECT_EQ(readCode(k), outcome[k - 1]) << "record " << k;
            if (outcome[k - 1] == -1) {
                expectRecord(k);
            }
        }
    }
}

TEST_P(PmReaderRecords, RecordsWithoutAnIndexSectionFail) {
    addRecords(2);
    builder.writeIndex = false;
    ASSERT_TRUE(openBuilt());
    // Every offset is 0: the first record then spans nothing, the last reaches into the header.
    EXPECT_EQ(readCode(1), 0);
    EXPECT_EQ(readCode(2), 4);
}

TEST_P(PmReaderRecords, RecordTypesWithoutALayoutFailEveryRead) {
    const std::vector<uint16_t> types = GetParam() == Format::B3
                                            ? std::vector<uint16_t>{4, 5, 0xFFFF}
                                            : std::vector<uint16_t>{0, 1, 2, 3, 5, 0xFFFF};
    addRecords(2);
    for (uint16_t type : types) {
        builder.recordType = type;
        ASSERT_TRUE(openBuilt());
        EXPECT_EQ(readCode(1), 4) << type;
        EXPECT_EQ(readCode(2), 4) << type;
    }
}

TEST_P(PmReaderRecords, RecordsTooShortForTheirFieldsFail) {
    const size_t fixed = writtenFieldsSize(GetParam());
    for (size_t length : {size_t{1}, fixed - 1, fixed}) {
        builder.records = {Bytes(length, 0x11), recordFor(GetParam(), 2, 5)};
        ASSERT_TRUE(openBuilt());
        EXPECT_EQ(readCode(1), 4) << length;
        EXPECT_EQ(readCode(2), -1) << length;
    }
    builder.records = {recordFor(GetParam(), 1, 5), recordFor(GetParam(), 2, 5)};
    builder.indexOverrides = {{2, layout.recordOffsets[0]}};  // record 1 spans 0 bytes
    ASSERT_TRUE(openBuilt());
    EXPECT_EQ(readCode(1), 0);
}

INSTANTIATE_FOR_BOTH_FORMATS(PmReaderRecords);

}  // namespace
