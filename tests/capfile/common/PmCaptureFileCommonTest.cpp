#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "capfile/common/CXcfPmCaptureFileCommon.h"

namespace {

// Exposes the raw source name table, as a reader that loads it from a file sees it.
class Tables : public CXcfPmCaptureFileCommon {
  public:
    uint8_t* slot(size_t index) { return writableSourceNameSlot(index); }
};

TEST(PmCaptureFileCommonTest, NewTablesAreEmpty) {
    Tables tables;
    std::string text = tables.report("");
    std::string expected = "Header string      : ''\nRecord Type Table  : \n";
    for (int line = 0; line < 16; ++line) {
        expected += "\n    ";
        for (int i = 0; i < 16; ++i) {
            expected += "0 ";
        }
    }
    expected += "\nSource Name Table  : \n";
    for (int i = 0; i < 256; ++i) {
        expected += "\n  " + std::to_string(i) + ": (none)";
    }
    expected += "\n";
    EXPECT_EQ(text, expected);
}

TEST(PmCaptureFileCommonTest, ReportPutsExtraTextBeforeTheTablesAndShowsEntries) {
    Tables tables;
    tables.headerString = "#H\n";
    tables.setRecordTypeEntry(0, 3);
    tables.setRecordTypeEntry(255, 65535);
    tables.setSourceNameEntry(1, std::string("POS,1A,Rx"));
    std::string text = tables.report("EXTRA\n");
    EXPECT_EQ(
        text.rfind("Header string      : '#H\n'\nEXTRA\nRecord Type Table  : \n\n    3 0 ", 0), 0u);
    EXPECT_NE(text.find(" 65535 \nSource Name Table  : \n"), std::string::npos);
    EXPECT_NE(text.find("\n  0: (none)\n  1: POS,1A,Rx\n  2: (none)"), std::string::npos);
}

TEST(PmCaptureFileCommonTest, LongNamesAreCutTo120AndNeighboursStayUntouched) {
    Tables tables;
    tables.setSourceNameEntry(4, std::string("left"));
    tables.setSourceNameEntry(6, std::string("right"));
    tables.setSourceNameEntry(5, std::string(200, 'n'));
    EXPECT_EQ(tables.slot(5)[0], 0);
    EXPECT_EQ(tables.slot(5)[1], 120);
    EXPECT_EQ(tables.sourceNameEntry(5), std::string(120, 'n'));
    EXPECT_EQ(tables.slot(5)[122], 0);
    EXPECT_EQ(tables.sourceNameEntry(4), "left");
    EXPECT_EQ(tables.sourceNameEntry(6), "right");
}

TEST(PmCaptureFileCommonTest, EverySlotIsAddressedByItsOwnIndex) {
    Tables tables;
    for (int index : {0, 1, 2, 255}) {
        tables.setSourceNameEntry(static_cast<uint8_t>(index), "name" + std::to_string(index));
    }
    for (int index : {0, 1, 2, 255}) {
        EXPECT_EQ(tables.sourceNameEntry(static_cast<uint8_t>(index)),
                  "name" + std::to_string(index));
    }
    EXPECT_EQ(tables.sourceNameEntry(3), "");
}

TEST(PmCaptureFileCommonTest, SettingASlotClearsItsOldContent) {
    Tables tables;
    tables.setSourceNameEntry(7, std::string("a-long-old-name"));
    tables.setSourceNameEntry(7, 3, "new");
    EXPECT_EQ(tables.sourceNameEntry(7), "new");
    EXPECT_EQ(tables.slot(7)[5], 0);
}

TEST(PmCaptureFileCommonTest, ZeroByteInsideAStoredNameEndsIt) {
    Tables tables;
    tables.setSourceNameEntry(9, 3, "A\0C");
    EXPECT_EQ(tables.slot(9)[1], 3);
    EXPECT_EQ(tables.sourceNameEntry(9), "A");
}

TEST(PmCaptureFileCommonTest, DamagedLengthIsReadNoFurtherThanTheSlot) {
    Tables tables;
    // Slot 0 claims 0xFFFF characters; the next slot's bytes must not leak into the name.
    uint8_t* slot = tables.slot(0);
    slot[0] = 0xFF;
    slot[1] = 0xFF;
    for (size_t i = 2; i < 128; ++i) {
        slot[i] = 'x';
    }
    tables.setSourceNameEntry(1, std::string("NEXT"));
    EXPECT_EQ(tables.sourceNameEntry(0), std::string(126, 'x'));
    // The last slot has no neighbour at all: reading past it would leave the block.
    uint8_t* last = tables.slot(255);
    last[0] = 0x00;
    last[1] = 127;
    for (size_t i = 2; i < 128; ++i) {
        last[i] = 'z';
    }
    EXPECT_EQ(tables.sourceNameEntry(255), std::string(126, 'z'));
}

TEST(PmCaptureFileCommonTest, ResetForgetsEverything) {
    Tables tables;
    tables.headerString = "#x\n";
    tables.setRecordTypeEntry(0, 4);
    tables.setSourceNameEntry(0, std::string("POS"));
    tables.reset();
    EXPECT_EQ(tables.headerString, "");
    EXPECT_EQ(tables.recordTypeEntry(0), 0);
    EXPECT_EQ(tables.sourceNameEntry(0), "");
}

}  // namespace
