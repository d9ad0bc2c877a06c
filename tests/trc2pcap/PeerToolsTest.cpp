// What the ecosystem's own tools say about exported files: tshark's fields for every packet
// and capinfos' figures for the file, against what the project's readers read from the
// inputs. The samples and generated files cover all three layer-2 types, several ports per
// file and damaged frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/CaptureFileBuilder.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string toolPath(const std::string& name) {
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/usr/sbin/"}) {
        if (fileExists(folder + name)) {
            return folder + name;
        }
    }
    return std::string();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

std::string epochText(uint64_t nanoseconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%llu.%09llu",
                  static_cast<unsigned long long>(nanoseconds / 1000000000),
                  static_cast<unsigned long long>(nanoseconds % 1000000000));
    return text;
}

std::string utcText(uint64_t nanoseconds) {
    const std::time_t seconds = static_cast<std::time_t>(nanoseconds / 1000000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &utc);
    char text[48];
    std::snprintf(text, sizeof text, "%s.%09llu", date,
                  static_cast<unsigned long long>(nanoseconds % 1000000000));
    return text;
}

class PeerToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tshark = toolPath("tshark");
        capinfos = toolPath("capinfos");
        if (tshark.empty() || capinfos.empty()) {
            GTEST_SKIP() << "tshark or capinfos is not installed (tools/ensure-deps.sh installs "
                            "the packages tshark and wireshark-common): the exported files were "
                            "not checked against them";
        }
    }

    std::string tshark;
    std::string capinfos;
    TempDir dir;
};

TEST_F(PeerToolsTest, TsharkAndCapinfosSeeEveryRecordAsTheReadersDo) {
    // Layer-2 types 0, 1 and 2 in turn, one port; three ports and damaged frames, Cisco HDLC.
    SampleOptions mixed;
    mixed.records = 9;
    mixed.tag = 3;
    writeSample(dir.file("mixed.cap"), mixed);
    ASSERT_EQ(runProgram({trcgenPath(), "-out", dir.file("ports.cap"), "-format", "B4", "-records",
                          "30", "-ports", "3", "-damaged", "4", "-l2", "1", "-time", "1143138000"})
                  .exitStatus,
              0);
    std::vector<std::string> inputs = {sourceDir() + "/examples/lab1-b3.cap",
                                       sourceDir() + "/examples/lab4-b4-ports.cap",
                                       dir.file("mixed.cap"), dir.file("ports.cap")};
    std::vector<std::string> args = {trc2pcapPath()};
    for (const std::string& input : inputs) {
        args.insert(args.end(), {"-in", input});
    }
    const std::string out = dir.file("all.pcapng");
    args.insert(args.end(), {"-out", out});
    const ProcessResult exported = runProgram(args);
    ASSERT_EQ(exported.exitStatus, 0) << exported.output;

    // Expected, per packet: time, lengths, interface and comment. Interfaces: every named
    // port of every input up front, with the first record's link type; the others by first
    // use of input, port and link type.
    const uint32_t linkTypes[] = {50, 104, 1};
    std::vector<ReadBack> files;
    for (const std::string& input : inputs) {
        files.push_back(readBack(input));
    }
    std::map<std::tuple<size_t, uint32_t, uint32_t>, size_t> interfaces;
    for (size_t input = 0; input < inputs.size(); ++input) {
        for (uint32_t port = 0; port < 128; ++port) {
            if (!files[input].sourceNames[port].empty()) {
                interfaces.emplace(
                    std::make_tuple(input, port, linkTypes[files[0].records[0].layer2Type]),
                    interfaces.size());
            }
        }
    }
    std::vector<std::string> expected;
    uint64_t dataSize = 0;
    uint64_t earliest = UINT64_MAX;
    uint64_t latest = 0;
    size_t damaged = 0;
    for (size_t input = 0; input < inputs.size(); ++input) {
        for (const RecordCopy& r : files[input].records) {
            const uint64_t time = uint64_t{r.seconds} * 1000000000 + r.nanoseconds;
            const auto key =
                std::make_tuple(input, uint32_t{r.portByte} & 0x7F, linkTypes[r.layer2Type]);
            const size_t id = interfaces.emplace(key, interfaces.size()).first->second;
            const std::string length = std::to_string(r.frame.size());
            expected.push_back(epochText(time) + "\t" + length + "\t" + length + "\t" +
                               std::to_string(id) + "\t" + (r.frameGood ? "" : "damaged frame"));
            dataSize += r.frame.size();
            earliest = std::min(earliest, time);
            latest = std::max(latest, time);
            damaged += r.frameGood ? 0 : 1;
        }
    }
    ASSERT_GT(damaged, 0u);

    const std::string fieldOptions =
        " -T fields -e frame.time_epoch -e frame.len -e frame.cap_len -e frame.interface_id -e "
        "frame.comment";
    const ProcessResult fields =
        runProgram({"/bin/sh", "-c", tshark + " -r " + out + fieldOptions});
    ASSERT_EQ(fields.exitStatus, 0);
    EXPECT_EQ(lines(fields.output), expected);
    // The same through a pipe.
    std::string exportToPipe = trc2pcapPath();
    for (const std::string& input : inputs) {
        exportToPipe += " -in " + input;
    }
    const ProcessResult piped = runProgram(
        {"/bin/sh", "-c", exportToPipe + " -out - | " + tshark + " -r -" + fieldOptions});
    EXPECT_EQ(piped.exitStatus, 0);
    EXPECT_EQ(piped.output, fields.output);

    const ProcessResult filtered =
        runProgram({tshark, "-r", out, "-Y", "frame.comment contains \"damaged\""});
    EXPECT_EQ(lines(filtered.output).size(), damaged);

    // capinfos prints local time: in UTC here.
    const ProcessResult info = runProgram({"/usr/bin/env", "TZ=UTC", capinfos, "-M", "-T", out});
    ASSERT_EQ(info.exitStatus, 0);
    const std::vector<std::string> table = lines(info.output);
    ASSERT_EQ(table.size(), 2u) << info.output;
    std::map<std::string, std::string> figures;
    std::istringstream names(table[0]);
    std::istringstream values(table[1]);
    for (std::string name, value; std::getline(names, name, '\t');) {
        std::getline(values, value, '\t');
        figures[name] = value;
    }
    EXPECT_EQ(figures["Number of packets"], std::to_string(expected.size()));
    EXPECT_EQ(figures["Data size (bytes)"], std::to_string(dataSize));
    EXPECT_EQ(figures["Start time"], utcText(earliest));
    EXPECT_EQ(figures["End time"], utcText(latest));
    EXPECT_EQ(figures["File encapsulation"], "per-packet");
    EXPECT_EQ(figures["File time precision"], "nanoseconds");
    EXPECT_EQ(figures["Capture application"], "trc2pcap " SPLICETRC_VERSION);
}

// A frame beyond what the readers take, cut by the export: tshark and tcpdump read the file
// to its end, and see the packet's length on the wire.
TEST(PeerToolsLimitTest, ReadersGoPastACutFrame) {
    const std::string tshark = toolPath("tshark");
    const std::string tcpdump = toolPath("tcpdump");
    if (tshark.empty() || tcpdump.empty()) {
        GTEST_SKIP()
            << "tshark or tcpdump is not installed (tools/ensure-deps.sh installs the "
               "packages tshark and tcpdump): the cut frames were not checked against them";
    }
    TempDir dir;
    CaptureFileBuilder b = CaptureFileBuilder::b4();
    for (const size_t length : {60, 300001, 70}) {
        b.records.push_back(CaptureFileBuilder::b4Record(100, 0, 0, 0, 2, kZeroWords,
                                                         CaptureFileBuilder::pattern(length)));
    }
    b.writeTo(dir.file("big.cap"));
    for (const char* output : {"big.pcap", "big.pcapng"}) {
        SCOPED_TRACE(output);
        ASSERT_EQ(runProgram({trc2pcapPath(), "-in", dir.file("big.cap"), "-out", dir.file(output)})
                      .exitStatus,
                  0);
        const ProcessResult fields = runProgram({tshark, "-r", dir.file(output), "-T", "fields",
                                                 "-e", "frame.len", "-e", "frame.cap_len"});
        EXPECT_EQ(fields.exitStatus, 0);
        EXPECT_EQ(fields.output, "60\t60\n300001\t262144\n70\t70\n");
        const ProcessResult dump =
            runProgram({"/bin/sh", "-c", tcpdump + " -n -r '" + dir.file(output) + "' 2>&1"});
        EXPECT_EQ(dump.exitStatus, 0) << dump.output;
        EXPECT_NE(dump.output.find(", length 70"), std::string::npos) << dump.output;
    }
}

// Files of one link type whose tables name several ports: tcpdump reads the export from a
// pipe as from the file, and reordercap, which takes only interfaces declared before the first
// packet, reorders it.
TEST_F(PeerToolsTest, NamedPortsSuitThePipeAndReordercap) {
    const std::string tcpdump = toolPath("tcpdump");
    const std::string reordercap = toolPath("reordercap");
    if (tcpdump.empty() || reordercap.empty()) {
        GTEST_SKIP() << "tcpdump or reordercap is not installed (tools/ensure-deps.sh installs "
                        "the packages tcpdump and wireshark-common): not checked against them";
    }
    std::string inputs;
    for (const char* sample : {"lab4-b4-ports.cap", "port1-b4.cap", "port2-b4.cap"}) {
        inputs += " -in " + sourceDir() + "/examples/" + sample;
    }
    for (const char* format : {"pcap", "pcapng"}) {
        SCOPED_TRACE(format);
        const std::string file = dir.file(std::string("all.") + format);
        const std::string formatOption = std::string(" -format ") + format;
        ASSERT_EQ(
            runProgram({"/bin/sh", "-c", trc2pcapPath() + inputs + formatOption + " -out " + file})
                .exitStatus,
            0);
        const ProcessResult fromFile =
            runProgram({tcpdump, "-q", "-n", "-tt", "--time-stamp-precision=nano", "-r", file});
        const ProcessResult fromPipe =
            runProgram({"/bin/sh", "-c",
                        trc2pcapPath() + inputs + formatOption + " -out - | " + tcpdump +
                            " -q -n -tt --time-stamp-precision=nano -r -"});
        EXPECT_EQ(fromPipe.exitStatus, 0);
        EXPECT_EQ(lines(fromPipe.output).size(), 60u);
        EXPECT_EQ(fromPipe.output, fromFile.output);
    }
    const ProcessResult reordered = runProgram(
        {"/bin/sh", "-c",
         reordercap + " " + dir.file("all.pcapng") + " " + dir.file("sorted.pcapng") + " 2>&1"});
    EXPECT_EQ(reordered.exitStatus, 0) << reordered.output;
    const ProcessResult count = runProgram(
        {tshark, "-r", dir.file("sorted.pcapng"), "-T", "fields", "-e", "frame.interface_name"});
    EXPECT_EQ(lines(count.output).size(), 60u);
    EXPECT_NE(count.output.find("GbE,101/2,Rx"), std::string::npos);
}

}  // namespace
