#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "record/CXcfDimString.h"

namespace {

std::vector<uint8_t> counted(uint16_t length, const std::string& chars) {
    std::vector<uint8_t> out{static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    out.insert(out.end(), chars.begin(), chars.end());
    return out;
}

struct DimCase {
    std::vector<uint8_t> block;
    uint16_t length;
    std::string text;
};

class DimStringAttach : public ::testing::TestWithParam<DimCase> {};

TEST_P(DimStringAttach, ReadsUnsignedLengthAndTextUpToZero) {
    const DimCase& c = GetParam();
    CXcfDimString s;
    s.attach(c.block.data(), false);
    EXPECT_EQ(s.getLength(), c.length);
    EXPECT_EQ(s.toString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DimStringAttach,
    ::testing::Values(DimCase{counted(3, "ABC"), 3, "ABC"}, DimCase{counted(0, ""), 0, ""},
                      DimCase{counted(3, std::string("A\0C", 3)), 3, "A"},
                      DimCase{counted(144, std::string(144, 'x')), 144, std::string(144, 'x')},
                      DimCase{counted(258, std::string(258, 'y')), 258, std::string(258, 'y')}));

TEST(DimString, CopyOutKeepsAllCharactersAndTerminates) {
    const std::vector<uint8_t> block = counted(3, std::string("A\0C", 3));
    CXcfDimString s;
    s.attach(block.data(), false);
    const auto copy = s.copyOut();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy.get(), "A\0C\0", 4), 0);

    const std::vector<uint8_t> empty = counted(0, "");
    s.attach(empty.data(), false);
    EXPECT_EQ(s.copyOut(), nullptr);
}

struct BoundedCase {
    std::vector<uint8_t> block;  // exactly the readable bytes
    uint16_t length;
    std::string text;
};

class DimStringBounded : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(DimStringBounded, NeverReachesPastTheBlock) {
    const BoundedCase& c = GetParam();
    CXcfDimString s;
    s.attachBounded(c.block.data(), c.block.size());
    EXPECT_EQ(s.getLength(), c.length);
    EXPECT_EQ(s.toString(), c.text);
    const auto copy = s.copyOut();
    EXPECT_EQ(copy ? std::string(copy.get()) : std::string(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, DimStringBounded,
                         ::testing::Values(BoundedCase{counted(3, "ABCDE"), 3, "ABC"},
                                           BoundedCase{counted(0xFFFF, "ABCDEF"), 6, "ABCDEF"},
                                           BoundedCase{counted(5, ""), 0, ""},
                                           BoundedCase{{0x00}, 0, ""}, BoundedCase{{}, 0, ""}));

TEST(DimString, OwnershipFreesTheWholeBlockOnceOnly) {
    // Run under the address sanitizer: a missing, double or wrong free shows up there.
    uint8_t* owned = new uint8_t[4]{0, 2, 'h', 'i'};
    CXcfDimString s;
    s.attach(owned, true);
    EXPECT_EQ(s.toString(), "hi");

    CXcfDimString moved(std::move(s));
    EXPECT_EQ(moved.toString(), "hi");
    EXPECT_EQ(s.getLength(), 0);

    const std::vector<uint8_t> table = counted(2, "ok");
    moved.attach(table.data(), false);  // releases the owned block
    moved.attach(table.data(), false);  // frees nothing
    EXPECT_EQ(moved.toString(), "ok");
}

}  // namespace
