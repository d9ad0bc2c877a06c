// trcinfo -stats and -json on files whose records the test wrote itself: the figures are
// checked against values computed here from those records, through a real JSON parser.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/PcapReadBack.h"
#include "support/SampleCaptures.h"
#include "trcinfo/TrcinfoFixture.h"

using namespace trcinfotest;
using Json = nlohmann::json;

namespace {

constexpr uint64_t kBillion = 1000000000;

// Records across every bucket, three ports, two layer-2 types, damaged frames, a gap of five
// seconds, equal times and two steps back in time.
struct Written {
    RecordValues values;
    uint32_t length;
};

std::vector<Written> writtenRecords() {
    const uint32_t lengths[] = {10, 25, 60, 100, 200, 400, 700, 1500, 3000, 6000, 64, 64};
    const uint32_t seconds[] = {100, 100, 100, 105, 105, 104, 106, 106, 106, 103, 107, 107};
    const uint32_t nanos[] = {0, 500, 500, 0, 7, 999999999, 0, 0, 1, 5, 0, 0};
    std::vector<Written> records;
    for (size_t i = 0; i < std::size(lengths); ++i) {
        Written w;
        w.values.seconds = seconds[i];
        w.values.nanoseconds = nanos[i];
        w.values.portByte = static_cast<uint8_t>((i % 4 == 3 ? 0x80 : 0) | (i % 3));
        w.values.layer2Type = static_cast<uint8_t>(i < 6 ? 2 : 1);
        w.length = lengths[i];
        records.push_back(w);
    }
    return records;
}

class StatisticsTest : public TrcinfoTest {
  protected:
    void SetUp() override {
        auto writer = makeWriter(Format::B4, "GbE", "101/1");
        ASSERT_TRUE(writer->open(dir.file("s.cap"), "stats"));
        writer->setSourceName(2, "GbE,101/3,Rx");
        for (const Written& w : records) {
            ASSERT_TRUE(writeData(*writer, Format::B4, w.values, Bytes(w.length, 0x33)));
        }
        writer->close();
    }
    Json runJson(std::vector<std::string> args) {
        const ProcessResult result = run(args);
        EXPECT_NE(result.exitStatus, -1);
        const Json document = Json::parse(result.output, nullptr, false);
        EXPECT_FALSE(document.is_discarded()) << result.output;
        return document;
    }

    const std::vector<Written> records = writtenRecords();
};

TEST_F(StatisticsTest, JsonFiguresMatchTheRecordsWritten) {
    // Computed here, independently of the program's code.
    uint64_t bytes = 0;
    uint64_t earliest = UINT64_MAX;
    uint64_t latest = 0;
    uint64_t previous = 0;
    uint64_t backwards = 0;
    uint64_t stepBack = 0;
    uint64_t gap = 0;
    uint64_t damaged = 0;
    std::map<uint32_t, uint64_t> ports;
    std::map<uint32_t, uint64_t> layer2;
    std::vector<uint64_t> buckets(10);
    const uint32_t bounds[] = {20, 40, 80, 160, 320, 640, 1280, 2560, 5120};
    for (size_t i = 0; i < records.size(); ++i) {
        const Written& w = records[i];
        const uint64_t time = w.values.seconds * kBillion + w.values.nanoseconds;
        bytes += w.length;
        earliest = std::min(earliest, time);
        latest = std::max(latest, time);
        if (i > 0 && time < previous) {
            ++backwards;
            stepBack = std::max(stepBack, previous - time);
        } else if (i > 0) {
            gap = std::max(gap, time - previous);
        }
        previous = time;
        damaged += (w.values.portByte & 0x80) != 0;
        ++ports[w.values.portByte & 0x7F];
        ++layer2[w.values.layer2Type];
        ++buckets[static_cast<size_t>(
            std::upper_bound(std::begin(bounds), std::end(bounds), w.length) - std::begin(bounds))];
    }

    const Json document = runJson({"-json", "-stats", "s.cap"});
    ASSERT_TRUE(document.is_array());
    ASSERT_EQ(document.size(), 1u);
    const Json& s = document[0]["statistics"];
    EXPECT_EQ(s["records"], records.size());
    EXPECT_EQ(s["complete"], true);
    EXPECT_EQ(s["frame_bytes"], bytes);
    EXPECT_EQ(s["stored_bytes"], bytes);
    EXPECT_EQ(s["first_time_ns"], earliest);
    EXPECT_EQ(s["last_time_ns"], latest);
    EXPECT_EQ(s["first_time"], "1970-01-01T00:01:40.000000000Z");
    EXPECT_EQ(s["last_time"], "1970-01-01T00:01:47.000000000Z");
    EXPECT_EQ(s["duration_ns"], latest - earliest);
    const double seconds = static_cast<double>(latest - earliest) / kBillion;
    EXPECT_DOUBLE_EQ(s["data_rate_bytes_per_second"].get<double>(), bytes / seconds);
    EXPECT_DOUBLE_EQ(s["data_rate_bits_per_second"].get<double>(), 8 * bytes / seconds);
    EXPECT_DOUBLE_EQ(s["record_rate_per_second"].get<double>(), records.size() / seconds);
    EXPECT_EQ(s["frame_length_min"], 10);
    EXPECT_EQ(s["frame_length_max"], 6000);
    EXPECT_DOUBLE_EQ(s["frame_length_average"].get<double>(),
                     static_cast<double>(bytes) / records.size());
    ASSERT_EQ(s["frame_length_buckets"].size(), buckets.size());
    for (size_t i = 0; i < buckets.size(); ++i) {
        EXPECT_EQ(s["frame_length_buckets"][i]["records"], buckets[i]) << "bucket " << i;
    }
    EXPECT_EQ(s["frame_length_buckets"][9]["to"], nullptr);
    EXPECT_EQ(s["damaged_frames"], damaged);
    ASSERT_EQ(s["records_per_port"].size(), ports.size());
    for (const Json& port : s["records_per_port"]) {
        EXPECT_EQ(port["records"], ports[port["port"].get<uint32_t>()]);
    }
    EXPECT_EQ(s["records_per_port"][2]["source_name"], "GbE,101/3,Rx");
    for (const Json& type : s["records_per_layer2_type"]) {
        EXPECT_EQ(type["records"], layer2[type["code"].get<uint32_t>()]);
    }
    EXPECT_EQ(s["in_time_order"], false);
    EXPECT_EQ(s["records_out_of_order"], backwards);
    EXPECT_EQ(s["largest_step_back_ns"], stepBack);
    EXPECT_EQ(s["largest_gap_ns"], gap);
}

TEST_F(StatisticsTest, TextBlockFollowsTheHeaderReport) {
    const ProcessResult result = run({"-stats", "s.cap"});
    EXPECT_EQ(result.exitStatus, 0);
    const std::string& out = result.output;
    for (const char* line :
         {"\nStatistics of records 1 to 12 of 12:\n", "\nRecords            : 12\n",
          "\nFirst record time  : 1970-01-01T00:01:40.000000000Z (100.000000000)\n",
          "\nDuration           : 7.000000000 s\n", "\n  5120 and more             1    8.33 %\n",
          "\nDamaged frames     : 3\n", "  port 2                    4  GbE,101/3,Rx\n",
          "  GbE (2)                   6\n",
          "\nTime order         : 2 records earlier than the record before them; largest step "
          "back 2.999999996 s\n"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_LT(out.find("Trigger Packet No."), out.find("Statistics of records"));
}

// A record that cannot be read ends the pass with the listing's warning; the figures cover
// the records before it.
TEST_F(StatisticsTest, ADamagedRecordEndsThePass) {
    Bytes bytes = readFile(dir.file("s.cap"));
    const uint32_t index = be32At(bytes, 27);
    const uint32_t record5 = be32At(bytes, index + 4 * 4);
    putAt(bytes, index + 4 * 5, 4, record5 + 5);  // record 5 too short
    writeFile(dir.file("s.cap"), bytes);
    const ProcessResult text = run({"-stats", "s.cap"});
    EXPECT_NE(text.output.find("WARNING (listRecords) - Stopped reading file: 's.cap' at record 5 "
                               "of 12; the records after it were not listed.\nbecause: Short or "
                               "Corrupted capture file: record 5 at offset " +
                               std::to_string(record5) +
                               " is 5 bytes long by the index, too short for its 19 bytes of "
                               "fields and a frame byte\nStatistics of records 1 to 4 of 12 (the "
                               "records read before the one that failed):\n"),
              std::string::npos)
        << text.output;
    const Json document = runJson({"-json", "-stats", "s.cap"});
    EXPECT_EQ(document[0]["statistics"]["records"], 4);
    EXPECT_EQ(document[0]["statistics"]["complete"], false);
    EXPECT_EQ(document[0]["warnings"].size(), 1u);
}

// Text fields with control characters and bytes that are not UTF-8 still give valid JSON,
// the bad bytes replaced; records, tables and failures all appear in one document.
TEST_F(StatisticsTest, EveryOptionAndEveryTextGivesValidJson) {
    auto writer = makeWriter(Format::B3);
    ASSERT_TRUE(writer->open(dir.file("odd.cap"), std::string("tab\there \x01 bad \xff\xfe end")));
    ASSERT_TRUE(writeData(*writer, Format::B3, RecordValues{}, Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    writer->close();
    writeFile(dir.file("t.pcap"), pcapHeader(false));
    const Json document = runJson(
        {"-json", "-stats", "-tables", "-records", "-hex", "3", "odd.cap", "t.pcap", "gone.cap"});
    ASSERT_EQ(document.size(), 3u);
    const std::string description = document[0]["header"]["description"];
    EXPECT_NE(description.find("tab\there \x01 bad "), std::string::npos);
    EXPECT_NE(description.find("\xEF\xBF\xBD"), std::string::npos);  // U+FFFD
    EXPECT_EQ(document[0]["records"][0]["frame_hex"], "deadbe");
    EXPECT_EQ(document[0]["tables"]["source_names"][0], "POS,1A,Rx");
    EXPECT_EQ(document[1]["header"]["network"], 1);
    EXPECT_EQ(document[1]["statistics"], nullptr);
    EXPECT_EQ(document[2]["error"]["code"], 1);
    EXPECT_EQ(document[2]["error"]["step"], "openInputFile");
}

// capinfos, on the pcap export of the same records, must give the same figures.
TEST_F(StatisticsTest, CapinfosAgreesOnTheExportedRecords) {
    if (!fileExists("/usr/bin/capinfos")) {
        GTEST_SKIP() << "capinfos is not installed (tools/ensure-deps.sh installs "
                        "wireshark-common): the figures were not compared with it";
    }
    ASSERT_EQ(runProgram({trcgenPath(), "-out", dir.file("g.cap"), "-format", "B4", "-records",
                          "500", "-frame", "60:1500", "-ports", "2"})
                  .exitStatus,
              0);
    ASSERT_EQ(runProgram({trc2pcapPath(), "-in", dir.file("g.cap"), "-out", dir.file("g.pcap")})
                  .exitStatus,
              0);
    const Json ours = runJson({"-json", "-stats", "g.cap"})[0]["statistics"];
    const ProcessResult info =
        runProgram({"/usr/bin/env", "TZ=UTC", "/usr/bin/capinfos", "-M", "-T", dir.file("g.pcap")});
    ASSERT_EQ(info.exitStatus, 0);
    std::istringstream table(info.output);
    std::string names;
    std::string values;
    std::getline(table, names);
    std::getline(table, values);
    std::map<std::string, std::string> theirs;
    std::istringstream n(names);
    std::istringstream v(values);
    for (std::string name, value; std::getline(n, name, '\t') && std::getline(v, value, '\t');) {
        theirs[name] = value;
    }
    EXPECT_EQ(theirs["Number of packets"], std::to_string(ours["records"].get<uint64_t>()));
    EXPECT_EQ(theirs["Data size (bytes)"], std::to_string(ours["stored_bytes"].get<uint64_t>()));
    std::string first = ours["first_time"];
    std::string last = ours["last_time"];
    first[10] = ' ';
    last[10] = ' ';
    EXPECT_EQ(theirs["Start time"] + "Z", first);
    EXPECT_EQ(theirs["End time"] + "Z", last);
    EXPECT_NEAR(std::stod(theirs["Capture duration (seconds)"]),
                ours["duration_ns"].get<double>() / kBillion, 1e-9);
    // capinfos prints two decimals of a rate it computes in single steps of its own.
    const double rate = ours["data_rate_bytes_per_second"].get<double>();
    EXPECT_NEAR(std::stod(theirs["Data byte rate (bytes/sec)"]), rate, rate * 1e-6);
    EXPECT_NEAR(std::stod(theirs["Average packet size (bytes)"]),
                ours["frame_length_average"].get<double>(), 0.01);
}

// -start and -num select the records of the statistics as they select those of the listing.
struct Range {
    const char* name;
    std::vector<std::string> args;
    std::string says;  // in the text
    uint64_t frameBytes;
};

void PrintTo(const Range& r, std::ostream* os) {
    *os << r.name;
}

class StatisticsRangeTest : public StatisticsTest, public ::testing::WithParamInterface<Range> {};

TEST_P(StatisticsRangeTest, CoversTheSelectedRecords) {
    std::vector<std::string> args = GetParam().args;
    args.insert(args.end(), {"-stats", "s.cap"});
    EXPECT_NE(run(args).output.find(GetParam().says), std::string::npos) << run(args).output;
    args.push_back("-json");
    EXPECT_EQ(runJson(args)[0]["statistics"]["frame_bytes"], GetParam().frameBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, StatisticsRangeTest,
    ::testing::Values(Range{"StartAndCount",
                            {"-start", "5", "-num", "3"},
                            "\nStatistics of records 5 to 7 of 12:\nRecords            : 3\n",
                            200 + 400 + 700},
                      Range{"CountPastTheEnd",
                            {"-start", "10", "-num", "100"},
                            "\nStatistics of records 10 to 12 of 12:\n",
                            6000 + 64 + 64},
                      Range{
                          "StartBeyondTheEnd",
                          {"-start", "13"},
                          "\nWARNING (showStatistics) - Requested first record 13 > 12, the total "
                          "number of records in the source file; no statistics were computed.\n\n",
                          0}),
    ::testing::PrintToStringParamName());

}  // namespace
