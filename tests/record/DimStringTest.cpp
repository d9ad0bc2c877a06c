#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "record/CXcfDimString.h"

namespace {

std::vector<uint8_t> counted(uint16_t length, const std::string& chars) {
    // Built in one piece: g++ -O3 misjudges an insert after a two-element list as a
    // bounds violation.
    std::string bytes = chars;
    bytes.insert(bytes.begin(), {static_cast<char>(length >> 8), static_cast<char>(length)});
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

struct DimCase {
    const char* name;
    std::vector<uint8_t> block;  // exactly the readable bytes
    uint16_t length;
    std::string text;
    bool bounded;
};
void PrintTo(const DimCase& c, std::ostream* os) {
    *os << c.name;
}
class DimStringAttach : public ::testing::TestWithParam<DimCase> {};

TEST_P(DimStringAttach, LengthAndText) {
    const DimCase& c = GetParam();
    CXcfDimString s;
    if (c.bounded) {
        s.attachBounded(c.block.data(), c.block.size());
    } else {
        s.attach(c.block.data(), false);
    }
    EXPECT_EQ(s.getLength(), c.length);
    EXPECT_EQ(s.toString(), c.text);
}

const std::string kWithZero("A\0C", 3);

INSTANTIATE_TEST_SUITE_P(
    Cases, DimStringAttach,
    ::testing::Values(DimCase{"Counted", counted(3, "ABC"), 3, "ABC", false},
                      DimCase{"Empty", counted(0, ""), 0, "", false},
                      DimCase{"ZeroInside", counted(3, kWithZero), 3, "A", false},
                      DimCase{"LowByteAbove127", counted(144, std::string(144, 'x')), 144,
                              std::string(144, 'x'), false},
                      DimCase{"HighLengthByte", counted(258, std::string(258, 'y')), 258,
                              std::string(258, 'y'), false},
                      DimCase{"BoundedLongerBlock", counted(3, "ABCDE"), 3, "ABC", true},
                      DimCase{"BoundedShortBlock", counted(0xFFFF, "ABCDEF"), 6, "ABCDEF", true},
                      DimCase{"BoundedHalfLength", {0x00}, 0, "", true},
                      DimCase{"BoundedNothing", {}, 0, "", true}),
    ::testing::PrintToStringParamName());

TEST(DimString, CopyOutKeepsAllCharactersAndTerminates) {
    const std::vector<uint8_t> withZero = counted(3, kWithZero), empty = counted(0, "");
    CXcfDimString s;
    s.attach(withZero.data(), false);
    const auto copy = s.copyOut();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy.get(), "A\0C\0", 4), 0);
    s.attach(empty.data(), false);
    EXPECT_EQ(s.copyOut(), nullptr);
}

TEST(DimString, OwnershipFreesTheWholeBlockOnceOnly) {
    // The address sanitizer build reports a missing, double or misplaced free here.
    CXcfDimString s;
    s.attach(new uint8_t[4]{0, 2, 'h', 'i'}, true);
    CXcfDimString moved(std::move(s));
    EXPECT_EQ(moved.toString(), "hi");
    const std::vector<uint8_t> table = counted(2, "ok");
    moved.attach(table.data(), false);
    moved.attach(table.data(), false);
    EXPECT_EQ(moved.toString(), "ok");
}

// A moved string leaves its source empty and owns what it took; an owned block is freed once.
TEST(DimStringMoveTest, TakesTheTextAndItsOwnership) {
    const std::vector<uint8_t> bytes = counted(3, "abc");
    CXcfDimString owned;
    uint8_t* block = new uint8_t[bytes.size()];
    std::memcpy(block, bytes.data(), bytes.size());
    owned.attach(block, true);
    CXcfDimString taken(std::move(owned));
    EXPECT_EQ(taken.toString(), "abc");
    EXPECT_EQ(owned.toString(), "");
    CXcfDimString viewed;
    viewed.attach(bytes.data(), false);
    viewed = std::move(taken);
    EXPECT_EQ(viewed.toString(), "abc");
    EXPECT_EQ(taken.toString(), "");
    CXcfDimString& same = viewed;
    viewed = std::move(same);
    EXPECT_EQ(viewed.toString(), "abc");
}

}  // namespace
