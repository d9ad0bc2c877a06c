// The pcap and pcapng writers: packets of every size read back through libpcap, what the files
// cannot hold refused, and the files' lifecycle on a full disk.
#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>

#include "WriterTestHelpers.h"
#include "capfile/write/CXcfPcapFileWriter.h"
#include "capfile/write/CXcfPcapngFileWriter.h"
#include "support/CaptureFileBuilder.h"
#include "support/PcapReadBack.h"

using namespace writertest;

namespace {

enum class Kind { kPcapNanoseconds, kPcapMicroseconds, kPcapng };

void PrintTo(Kind kind, std::ostream* os) {
    *os << (kind == Kind::kPcapng             ? "Pcapng"
            : kind == Kind::kPcapMicroseconds ? "PcapUs"
                                              : "PcapNs");
}

constexpr uint32_t kMax = CXcfPacketFileWriter::kMaxCapturedLength;

struct Packet {
    uint64_t time;
    uint32_t original;
    uint32_t captured;
    std::string comment;  // pcapng only
};

const Packet kPackets[] = {
    {1'000'000'123'456'789, 60, 60, ""},
    {1'000'000'123'456'790, 100, 0, "empty"},
    {2'000'000'000'000'001, 1514, 1514, "a comment of some length"},
    {2'000'000'000'000'002, 20000, 20000, ""},           // beyond the in-place limit
    {2'000'000'000'000'003, 30001, 30001, "and large"},  // beyond it, with a comment
    {2'000'000'000'000'004, kMax + 10, kMax + 10, ""},   // cut to the most a reader takes
};

class PacketWriterTest : public ::testing::TestWithParam<Kind> {
  protected:
    Kind kind = GetParam();
    bool micro = kind == Kind::kPcapMicroseconds;
    TempDir dir;
    std::string out = dir.file("out.pcap");
    std::unique_ptr<CXcfPcapFileWriter> pcap =
        kind == Kind::kPcapng ? nullptr : std::make_unique<CXcfPcapFileWriter>(1, micro);
    std::unique_ptr<CXcfPcapngFileWriter> pcapng =
        kind == Kind::kPcapng ? std::make_unique<CXcfPcapngFileWriter>("test 1.0") : nullptr;
    CXcfPacketFileWriter& writer() {
        return pcap ? static_cast<CXcfPacketFileWriter&>(*pcap) : *pcapng;
    }
    bool open() {
        const bool opened = writer().open(out);
        if (opened && pcapng) {
            EXPECT_EQ(pcapng->addInterface(1, "port 1"), 0u);
        }
        return opened;
    }
    bool write(const Packet& p, const uint8_t* bytes) {
        return pcap ? pcap->writePacket(p.time, p.original, p.captured, bytes)
                    : pcapng->writePacket(0, p.time, p.original, p.captured, bytes, p.comment);
    }
};

TEST_P(PacketWriterTest, PacketsReadBackAsWritten) {
    ASSERT_TRUE(open());
    for (const Packet& p : kPackets) {
        const Bytes bytes = CaptureFileBuilder::pattern(p.captured, static_cast<uint8_t>(p.time));
        ASSERT_TRUE(write(p, bytes.data()));
    }
    EXPECT_EQ(writer().cutPackets(), 1u);
    EXPECT_TRUE(writer().close());
    EXPECT_TRUE(writer().close()) << "a second close changes nothing";
    EXPECT_EQ(writer().bytesWritten(), std::filesystem::file_size(out));

    const PcapFile file = readPcap(out, micro);
    ASSERT_TRUE(file.opened) << file.error;
    EXPECT_EQ(file.linkType, 1);
    ASSERT_EQ(file.packets.size(), std::size(kPackets)) << file.error;
    for (size_t i = 0; i < std::size(kPackets); ++i) {
        const Packet& p = kPackets[i];
        SCOPED_TRACE(i);
        const uint32_t kept = std::min(p.captured, kMax);
        EXPECT_EQ(file.packets[i].seconds, p.time / 1'000'000'000);
        EXPECT_EQ(file.packets[i].fraction,
                  micro ? p.time % 1'000'000'000 / 1000 : p.time % 1'000'000'000);
        EXPECT_EQ(file.packets[i].originalLength, p.original);
        EXPECT_EQ(file.packets[i].bytes,
                  CaptureFileBuilder::pattern(kept, static_cast<uint8_t>(p.time)));
    }
}

TEST_P(PacketWriterTest, WhatTheFileCannotHoldIsRefused) {
    ASSERT_TRUE(open());
    EXPECT_FALSE(write({1, 10, 10, ""}, nullptr)) << "a length without bytes";
    const uint8_t byte = 0;
    if (pcap) {
        EXPECT_FALSE(CXcfPcapFileWriter::holdsTime(uint64_t{UINT32_MAX + 1ull} * 1'000'000'000));
        EXPECT_FALSE(pcap->writePacket(uint64_t{UINT32_MAX + 1ull} * 1'000'000'000, 1, 1, &byte));
    } else {
        EXPECT_FALSE(pcapng->writePacket(1, 0, 1, 1, &byte, "")) << "an interface not added";
    }
    EXPECT_TRUE(writer().close());
    const PcapFile file = readPcap(out, micro);
    EXPECT_TRUE(file.opened) << file.error;
    EXPECT_TRUE(file.packets.empty());
}

TEST_P(PacketWriterTest, FilesThatCannotBeMadeOrFillTheDisk) {
    EXPECT_FALSE(writer().open(dir.file("missing/out.pcap")));
    EXPECT_EQ(writer().systemError(), ENOENT);
    writeFile(out, Bytes(3, 7));
    writer().setCreateExclusively(true);
    EXPECT_FALSE(writer().open(out));
    EXPECT_EQ(writer().systemError(), EEXIST);
    EXPECT_EQ(readFile(out), Bytes(3, 7));

    const std::string folder = dir.file("mnt");
    std::filesystem::create_directory(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    }
    out = folder + "/out.pcap";
    ASSERT_TRUE(open());
    const Bytes bytes(1000, 0x42);
    bool refused = false;
    for (int i = 0; i < 200 && !refused; ++i) {
        refused = !write({1, 1000, 1000, ""}, bytes.data());
    }
    EXPECT_TRUE(refused);
    EXPECT_TRUE(writer().hasFailed());
    EXPECT_EQ(writer().systemError(), ENOSPC);
    EXPECT_EQ(writer().lastErrorCode, 5);
    EXPECT_FALSE(write({1, 1000, 1000, ""}, bytes.data()));
    EXPECT_FALSE(write({1, 30000, 30000, ""}, Bytes(30000).data()));
    EXPECT_FALSE(writer().close());
    writer().discard();
    EXPECT_FALSE(fileExists(out));
    // Closed before filling: the last block cannot be written at close.
    ASSERT_TRUE(open());
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(write({1, 1000, 1000, ""}, bytes.data()));
    }
    EXPECT_FALSE(writer().close());
    EXPECT_EQ(writer().systemError(), ENOSPC);
    writer().discard();
    EXPECT_FALSE(fileExists(out));
    umount2(folder.c_str(), MNT_DETACH);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PacketWriterTest,
                         ::testing::Values(Kind::kPcapNanoseconds, Kind::kPcapMicroseconds,
                                           Kind::kPcapng),
                         ::testing::PrintToStringParamName());

}  // namespace
