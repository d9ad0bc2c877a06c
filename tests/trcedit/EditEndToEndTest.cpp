// The real trcedit on files the test wrote: splits that splicetrc joins back into exactly the
// original records, time-ordered merges against a stable sort done here, time windows against
// the times written, and what a failed run leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/SampleCaptures.h"
#include "support/TestSupport.h"
#include "trcedit/EditRun.h"

using namespace testsupport;

namespace {

constexpr int kFailure = 255;
constexpr uint64_t kBillion = 1000000000;

struct Timed {
    uint32_t seconds;
    uint32_t nanoseconds;
};

// Writes a B4 file whose records have the given times, ports 0 to 2 in turn, a damaged frame
// now and then and frames of 40 to 139 bytes; returns them as a reader gives them back.
std::vector<RecordCopy> writeTimed(const std::string& path, const std::vector<Timed>& times,
                                   uint8_t tag) {
    auto writer = makeWriter(Format::B4, "GbE", "101/1");
    EXPECT_TRUE(writer->open(path, "timed"));
    for (size_t i = 0; i < times.size(); ++i) {
        RecordValues v;
        v.seconds = times[i].seconds;
        v.nanoseconds = times[i].nanoseconds;
        v.portByte = static_cast<uint8_t>((i % 7 == 6 ? 0x80 : 0) | (i % 3));
        v.statusByte = tag;
        v.layer2Type = 2;
        v.word0 = static_cast<uint32_t>(i);
        EXPECT_TRUE(writeData(*writer, Format::B4, v,
                              Bytes(40 + (i * 37 + tag) % 100, static_cast<uint8_t>(tag + i))));
    }
    writer->close();
    return readBack(path).records;
}

uint64_t timeOf(const RecordCopy& r) {
    return uint64_t{r.seconds} * kBillion + r.nanoseconds;
}

// Runs of equal times, gaps of 1 to 30 seconds, and a long quiet stretch.
std::vector<Timed> gappyTimes() {
    std::vector<Timed> times;
    uint32_t second = 1000;
    for (uint32_t i = 0; i < 60; ++i) {
        times.push_back({second, (i % 4) * 250000000});
        if (i % 5 == 4) {
            times.push_back(times.back());  // an equal time
        }
        second += i % 9 == 8 ? 30 : (i % 3 == 2 ? 1 : 0);
    }
    return times;
}

// The bytes of a file's data section: its records exactly as stored.
Bytes dataSection(const std::string& path) {
    const Bytes bytes = readFile(path);
    const uint32_t data = be32At(bytes, 23);
    const uint32_t index = be32At(bytes, 27);
    return Bytes(bytes.begin() + data, bytes.begin() + index);
}

class EditTest : public ::testing::Test {
  protected:
    ProcessResult run(const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), program);
        RunOptions options;
        options.workingDir = dir.path();
        return runProgram(args, options);
    }
    std::vector<std::string> chunks(const std::string& stem) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(stem + "-", 0) == 0) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
};

struct Split {
    std::string name;
    std::vector<std::string> args;
};

void PrintTo(const Split& s, std::ostream* os) {
    *os << s.name;
}

class SplitTest : public EditTest, public ::testing::WithParamInterface<Split> {};

TEST_P(SplitTest, JoiningTheChunksGivesBackTheOriginalRecords) {
    const std::vector<RecordCopy> original = writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    std::vector<std::string> args = {"-in", "in.cap", "-out", "cut.cap"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const ProcessResult split = run(trceditPath(), args);
    ASSERT_EQ(split.exitStatus, 0) << split.output;
    const std::vector<std::string> names = chunks("cut");
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(split.output, "Wrote " + std::to_string(original.size()) + " records into " +
                                std::to_string(names.size()) + " files.\n");

    std::vector<std::string> join = {"-out", "joined.cap"};
    size_t records = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(names[i], "cut-" + std::string(5 - std::to_string(i + 1).size(), '0') +
                                std::to_string(i + 1) + ".cap");
        const ReadBack chunk = readBack(dir.file(names[i]));
        ASSERT_TRUE(chunk.opened);
        ASSERT_FALSE(chunk.records.empty());  // never an empty chunk
        EXPECT_EQ(chunk.triggerPacketNumber, chunk.records.size() - 1);
        records += chunk.records.size();
        join.insert(join.end(), {"-in", names[i]});
    }
    EXPECT_EQ(records, original.size());  // never a record in two chunks
    const ProcessResult joined = run(splicetrcPath(), join);
    ASSERT_EQ(joined.exitStatus, 0) << joined.output;
    EXPECT_EQ(readBack(dir.file("joined.cap")).records, original);
    EXPECT_EQ(dataSection(dir.file("joined.cap")), dataSection(dir.file("in.cap")));
}

INSTANTIATE_TEST_SUITE_P(Splits, SplitTest,
                         ::testing::Values(Split{"Records", {"-split-records", "7"}},
                                           Split{"Bytes", {"-split-bytes", "34K"}},
                                           Split{"Seconds", {"-split-seconds", "20"}},
                                           Split{"FractionOfASecond", {"-split-seconds", "0.5"}}),
                         ::testing::PrintToStringParamName());

TEST_F(EditTest, ChunksRespectTheirRule) {
    const std::vector<RecordCopy> original = writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "b.cap", "-split-bytes", "34K"}).exitStatus,
        0);
    for (const std::string& name : chunks("b")) {
        EXPECT_LE(std::filesystem::file_size(dir.file(name)), 34u * 1024) << name;
    }
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "s.cap", "-split-seconds", "20"}).exitStatus,
        0);
    for (const std::string& name : chunks("s")) {
        const ReadBack chunk = readBack(dir.file(name));
        EXPECT_LT(timeOf(chunk.records.back()) - timeOf(chunk.records.front()), 20 * kBillion)
            << name;
    }
}

// The time-ordered merge equals a stable sort by time of all records, input after input:
// done here with std::stable_sort, over an input out of order and runs of equal times.
TEST_F(EditTest, SortIsAStableSortByTime) {
    std::vector<RecordCopy> all = writeTimed(dir.file("a.cap"), gappyTimes(), 1);
    std::vector<Timed> shuffled = gappyTimes();
    std::reverse(shuffled.begin() + 10, shuffled.begin() + 40);
    const std::vector<RecordCopy> b = writeTimed(dir.file("b.cap"), shuffled, 2);
    const std::vector<RecordCopy> c =
        writeTimed(dir.file("c.cap"), {{1000, 0}, {1000, 0}, {1031, 250000000}, {5000, 0}}, 3);
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    std::stable_sort(all.begin(), all.end(), [](const RecordCopy& x, const RecordCopy& y) {
        return timeOf(x) < timeOf(y);
    });

    const ProcessResult result = run(
        trceditPath(), {"-sort", "-in", "a.cap", "-in", "b.cap", "-in", "c.cap", "-out", "m.cap"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(readBack(dir.file("m.cap")).records, all);

    // A window of the sorted sequence, by position.
    ASSERT_EQ(run(trceditPath(), {"-sort", "-in", "b.cap", "-in", "a.cap", "-in", "c.cap", "-start",
                                  "11", "-num", "5", "-out", "w.cap"})
                  .exitStatus,
              0);
    const std::vector<RecordCopy> window = readBack(dir.file("w.cap")).records;
    ASSERT_EQ(window.size(), 5u);
    for (size_t i = 1; i < window.size(); ++i) {
        EXPECT_LE(timeOf(window[i - 1]), timeOf(window[i]));
    }
}

TEST_F(EditTest, TimeWindowsSelectByTheTimesWritten) {
    const std::vector<RecordCopy> original = writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    const uint64_t from = 1031 * kBillion + 250000000;
    const uint64_t to = 1100 * kBillion;
    const size_t expected = static_cast<size_t>(
        std::count_if(original.begin(), original.end(),
                      [&](const RecordCopy& r) { return timeOf(r) >= from && timeOf(r) < to; }));
    ASSERT_GT(expected, 0u);
    ASSERT_LT(expected, original.size());
    // 1031.25 s and 1100 s after the epoch, two ways.
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "e.cap", "-from", "1031.25", "-to", "1100"})
            .exitStatus,
        0);
    ASSERT_EQ(run(trceditPath(), {"-in", "in.cap", "-out", "i.cap", "-from",
                                  "1970-01-01T00:17:11.25Z", "-to", "1970-01-01T00:18:20Z"})
                  .exitStatus,
              0);
    const std::vector<RecordCopy> epoch = readBack(dir.file("e.cap")).records;
    EXPECT_EQ(epoch.size(), expected);
    EXPECT_EQ(readBack(dir.file("i.cap")).records, epoch);
}

TEST_F(EditTest, RefusalsSayWhatIsWrong) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    struct Refusal {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Refusal& r : {
             Refusal{{"-from", "2006-03-23T18:03:20"}, "is not in UTC: end the time with Z"},
             Refusal{{"-from", "2006-03-23T18:03:20+01:00"}, "is not in UTC"},
             Refusal{{"-to", "yesterday"}, "is neither epoch seconds"},
             Refusal{{"-to", "1.0000000001"}, "has more than nine decimals"},
             Refusal{{"-split-bytes", "10x"}, "is not a byte count"},
             Refusal{{"-split-records", "1", "-split-seconds", "1"}, "Give one split option only"},
             Refusal{{"-split-bytes", "1K"}, "is too small for a file of one record"},
             Refusal{{"-from", "5000"}, "No record was selected"},
             Refusal{{"-out", "."}, "Failed to open file: '.'"},
         }) {
        std::vector<std::string> args = {"-in", "in.cap", "-out", "o.cap"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const ProcessResult result = run(trceditPath(), args);
        EXPECT_EQ(result.exitStatus, kFailure) << r.says;
        EXPECT_NE(result.output.find(r.says), std::string::npos) << result.output;
        EXPECT_TRUE(chunks("o").empty());
        EXPECT_FALSE(fileExists(dir.file("o.cap")));
    }
}

// Chunks of an earlier, longer split stay, and the run says they are not part of its output.
TEST_F(EditTest, ChunksOfAnEarlierRunAfterTheLastAreNamed) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "c.cap", "-split-records", "5"}).exitStatus,
        0);
    const size_t before = chunks("c").size();
    const ProcessResult again = run(
        trceditPath(), {"-in", "in.cap", "-out", "c.cap", "-split-records", "20", "-num", "40"});
    ASSERT_EQ(again.exitStatus, 0) << again.output;
    EXPECT_NE(again.output.find("WARNING (editRecords) - 'c-00003.cap' and any chunks after it"),
              std::string::npos)
        << again.output;
    EXPECT_EQ(chunks("c").size(), before);
}

// A run that fails after some chunks were written leaves every name as it was.
TEST_F(EditTest, AFailedRunLeavesExistingChunksAsTheyWere) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    writeFile(dir.file("cut-00001.cap"), Bytes(10, 0x11));
    ASSERT_EQ(mkfifo(dir.file("cut-00003.cap").c_str(), 0644), 0);
    const ProcessResult result =
        run(trceditPath(), {"-in", "in.cap", "-out", "cut.cap", "-split-records", "10"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_NE(result.output.find("Failed to open file: 'cut-00003.cap'\nbecause: it is a pipe or "
                                 "FIFO, not a regular file"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(readFile(dir.file("cut-00001.cap")), Bytes(10, 0x11));
    EXPECT_FALSE(fileExists(dir.file("cut-00002.cap")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

// Every name in a folder with what it holds: a hash of a file's bytes, a link's target, or
// "folder".
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const Bytes bytes = entry.is_regular_file() ? readFile(entry.path()) : Bytes();
        names[entry.path().filename()] =
            entry.is_symlink() ? "-> " + std::filesystem::read_symlink(entry.path()).string()
            : entry.is_directory()
                ? "folder"
                : std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
    }
    return names;
}

// Holds each open of a file in a folder until the test has seen it (fanotify, for root), so
// that the test acts at a chosen point of a running program. Made before the program starts;
// the test must open nothing in the folder until at() has returned.
class OpenGate {
  public:
    explicit OpenGate(const std::string& folder)
        : fd(fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY)) {
        if (fd >= 0 && fanotify_mark(fd, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                                     folder.c_str()) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~OpenGate() {
        if (fd >= 0) {
            close(fd);
        }
    }
    bool works() const { return fd >= 0; }
    // Lets opens through until one of a name starting with prefix: calls act first, then
    // lets that one and all later ones through. False when none came.
    bool at(const std::string& prefix, const std::function<void()>& act) {
        bool acted = false;
        pollfd ready{fd, POLLIN, 0};
        while (!acted && poll(&ready, 1, 60000) == 1) {
            alignas(fanotify_event_metadata) char buffer[4096];
            ssize_t length = read(fd, buffer, sizeof buffer);
            auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
            for (; FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length)) {
                char path[4096] = {};
                const std::string link = "/proc/self/fd/" + std::to_string(event->fd);
                if (readlink(link.c_str(), path, sizeof path - 1) > 0 && !acted &&
                    std::filesystem::path(path).filename().string().rfind(prefix, 0) == 0) {
                    act();
                    acted = true;
                }
                const fanotify_response allow{event->fd, FAN_ALLOW};
                EXPECT_EQ(write(fd, &allow, sizeof allow), static_cast<ssize_t>(sizeof allow));
                close(event->fd);
            }
        }
        close(fd);
        fd = -1;
        return acted;
    }

  private:
    int fd;
};

struct Alias {
    std::string name;
    std::function<void(const std::string& folder)> make;  // makes p-00002.cap reach chunk 3
};

void PrintTo(const Alias& a, std::ostream* os) {
    *os << a.name;
}

class AliasTest : public EditTest, public ::testing::WithParamInterface<Alias> {};

TEST_P(AliasTest, ChunkNamesThatReachOneFileAreRefusedBeforeAnyIsReplaced) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "p.cap", "-split-records", "25"}).exitStatus,
        0);
    removeFile(dir.file("p-00002.cap"));
    GetParam().make(dir.path());
    const auto before = snapshot(dir.path());
    const ProcessResult result =
        run(trceditPath(), {"-in", "in.cap", "-out", "p.cap", "-split-records", "25"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(result.output,
              "ERROR (openOutputFile) - Failed to open file: 'p-00003.cap'\n"
              "because: it leads to the same file as 'p-00002.cap', which this "
              "run writes too\n");
    EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Aliases, AliasTest,
    ::testing::Values(Alias{"LinkToALaterChunk",
                            [](const std::string& d) {
                                symlink("p-00003.cap", (d + "/p-00002.cap").c_str());
                            }},
                      Alias{"LinkToAChunkNotThereYet",
                            [](const std::string& d) {
                                removeFile(d + "/p-00003.cap");
                                symlink("./p-00003.cap", (d + "/p-00002.cap").c_str());
                            }},
                      Alias{"HardLinks",
                            [](const std::string& d) {
                                link((d + "/p-00003.cap").c_str(), (d + "/p-00002.cap").c_str());
                            }}),
    ::testing::PrintToStringParamName());

// A chunk name turned into a folder while the run wrote later chunks: the new chunks already
// renamed into place give way to the old ones again.
TEST_F(EditTest, ACommitThatFailsHalfWayLeavesTheOldChunks) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    ASSERT_EQ(
        run(trceditPath(), {"-in", "in.cap", "-out", "p.cap", "-split-records", "6"}).exitStatus,
        0);
    auto expected = snapshot(dir.path());
    ASSERT_EQ(expected.count("p-00012.cap"), 1u);
    expected["p-00003.cap"] = "folder";
    OpenGate gate(dir.path());
    if (!gate.works()) {
        GTEST_SKIP() << "fanotify is not available here";
    }
    RunOptions options;
    options.workingDir = dir.path();
    options.whileRunning = [&](pid_t) {
        EXPECT_TRUE(gate.at(".p-00004.cap.", [&] {
            removeFile(dir.file("p-00003.cap"));
            std::filesystem::create_directory(dir.file("p-00003.cap"));
        }));
    };
    const ProcessResult result = runProgram(
        {trceditPath(), "-in", "in.cap", "-out", "p.cap", "-split-records", "15"}, options);
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(result.output,
              "ERROR (editRecords) - Failed to write file: 'p-00003.cap'\nbecause: "
              "it cannot be replaced: it is a folder, not a regular file\n");
    EXPECT_EQ(snapshot(dir.path()), expected);
}

TEST_F(EditTest, AnInterruptedSplitNamesItsChunks) {
    writeTimed(dir.file("in.cap"), gappyTimes(), 1);
    const auto before = snapshot(dir.path());
    OpenGate gate(dir.path());
    if (!gate.works()) {
        GTEST_SKIP() << "fanotify is not available here";
    }
    RunOptions options;
    options.workingDir = dir.path();
    options.whileRunning = [&](pid_t pid) {
        EXPECT_TRUE(gate.at(".p-00002.cap.", [pid] { kill(pid, SIGINT); }));
    };
    const ProcessResult result = runProgram(
        {trceditPath(), "-in", "in.cap", "-out", "p.cap", "-split-records", "15"}, options);
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(result.output,
              "ERROR (editRecords) - Interrupted by SIGINT; the output files "
              "'p-NNNNN.cap' were left unchanged.\n");
    EXPECT_EQ(snapshot(dir.path()), before);
}

// Chunk names end at five digits. Where the chunks are known before the first is written,
// nothing is; otherwise the run stops before the chunk beyond the last name.
TEST_F(EditTest, ASplitBeyondTheLastChunkNameIsRefused) {
    ASSERT_EQ(runProgram({trcgenPath(), "-out", dir.file("big.cap"), "-format", "B4", "-records",
                          "100000", "-frame", "60"})
                  .exitStatus,
              0);
    const auto before = snapshot(dir.path());
    const ProcessResult result =
        run(trceditPath(), {"-in", "big.cap", "-out", "p.cap", "-split-records", "1"});
    EXPECT_EQ(result.exitStatus, kFailure);
    EXPECT_EQ(result.output,
              "ERROR (editRecords) - The split needs more than 99999 chunks, and "
              "their names end at 'p-99999.cap'; give '-split-records' a larger "
              "value.\n");
    EXPECT_EQ(snapshot(dir.path()), before);

    EditSettings settings;
    settings.inputFileNames = {dir.file("big.cap")};
    settings.outputFileName = dir.file("s.cap");
    settings.split = SplitKind::kSeconds;
    settings.splitValue = kBillion;  // the records lie 1 ms apart: chunks of 1000
    settings.recordLimit = 3001;
    settings.maxChunks = 3;
    ConsoleCapture console;
    EditRun edit(settings);
    uint64_t count = 0;
    size_t files = 0;
    EXPECT_FALSE(edit.openAllInputs() && edit.prepareOutput() && edit.editRecords(count, files));
    edit.cleanUp();
    EXPECT_EQ(console.text(),
              "ERROR (editRecords) - The split needs more than 3 chunks, and "
              "their names end at '" +
                  dir.file("s-00003.cap") + "'; give '-split-seconds' a larger value.\n");
    EXPECT_EQ(snapshot(dir.path()), before);
}

// -shift moves every time of the inputs after it, exactly, in file order and in time order; a
// time the shift would take out of what a record holds ends the run, naming the record, and
// no output appears.
struct Shift {
    const char* name;
    std::vector<Timed> times;
    std::string by;
    std::vector<Timed> expected;  // empty: refused
    std::string says;
};

void PrintTo(const Shift& c, std::ostream* os) {
    *os << c.name;
}

class ShiftTest : public EditTest, public ::testing::WithParamInterface<Shift> {};

TEST_P(ShiftTest, TimesMoveExactly) {
    const Shift& c = GetParam();
    std::vector<RecordCopy> expected = writeTimed(dir.file("in.cap"), c.times, 1);
    for (size_t i = 0; i < c.expected.size(); ++i) {
        expected[i].seconds = c.expected[i].seconds;
        expected[i].nanoseconds = c.expected[i].nanoseconds;
    }
    for (const bool sort : {false, true}) {
        SCOPED_TRACE(sort ? "in time order" : "in file order");
        std::vector<std::string> args = {"-shift", c.by, "-in", "in.cap", "-out", "o.cap"};
        if (sort) {
            args.push_back("-sort");
        }
        const ProcessResult result = run(trceditPath(), args);
        if (c.expected.empty()) {
            EXPECT_EQ(result.exitStatus, kFailure);
            EXPECT_EQ(result.output, "ERROR (editRecords) - " + c.says + "\n");
            EXPECT_FALSE(fileExists(dir.file("o.cap")));
            continue;
        }
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_EQ(readBack(dir.file("o.cap")).records, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, ShiftTest,
    ::testing::Values(
        Shift{"OneNanosecondIntoTheNextSecond",
              {{1000, 999999999}, {1001, 5}},
              "0.000000001",
              {{1001, 0}, {1001, 6}},
              ""},
        Shift{"OneNanosecondBackIntoTheSecondBefore",
              {{1001, 0}, {1001, 1}},
              "-0.000000001",
              {{1000, 999999999}, {1001, 0}},
              ""},
        Shift{"AnHourWithASign", {{1143137000, 125}}, "+3600", {{1143140600, 125}}, ""},
        Shift{"ALargeShift", {{1143137000, 5}}, "3000000000", {{4143137000u, 5}}, ""},
        Shift{"UpToTheLastTimeARecordHolds",
              {{4294967295u, 0}},
              "0.999999999",
              {{4294967295u, 999999999}},
              ""},
        Shift{"DownToTheEpoch", {{1, 0}, {2, 0}}, "-1", {{0, 0}, {1, 0}}, ""},
        Shift{"PastTheLastTimeIsRefused",
              {{1000, 0}, {4294967295u, 1}},
              "0.999999999",
              {},
              "Record 2 of 'in.cap' has the time 4294967295.000000001; shifted by +0.999999999 s "
              "it would lie outside the times a capture file can hold (0 to "
              "4294967295.999999999)."},
        Shift{"BeforeTheEpochIsRefused",
              {{0, 5}},
              "-0.000000006",
              {},
              "Record 1 of 'in.cap' has the time 0.000000005; shifted by -0.000000006 s it would "
              "lie outside the times a capture file can hold (0 to 4294967295.999999999)."}),
    ::testing::PrintToStringParamName());

// Two testers whose clocks differ by a known offset: shifted back and merged in time order,
// their records give the time line they really had. A -shift holds for the inputs after it.
TEST_F(EditTest, AShiftBackRestoresTheTimeLine) {
    std::vector<Timed> skewed = gappyTimes();
    std::vector<Timed> real = gappyTimes();
    for (size_t i = 0; i < real.size(); ++i) {
        real[i].nanoseconds += 125000;  // the second tester, an eighth of a millisecond later
        skewed[i] = {real[i].seconds + 3600, real[i].nanoseconds + 1};
    }
    std::vector<RecordCopy> expected = writeTimed(dir.file("a.cap"), gappyTimes(), 1);
    const std::vector<RecordCopy> b = writeTimed(dir.file("b.cap"), real, 2);
    writeTimed(dir.file("skewed.cap"), skewed, 2);
    expected.insert(expected.end(), b.begin(), b.end());
    std::stable_sort(
        expected.begin(), expected.end(),
        [](const RecordCopy& x, const RecordCopy& y) { return timeOf(x) < timeOf(y); });
    const ProcessResult result =
        run(trceditPath(), {"-sort", "-in", "a.cap", "-shift", "-3600.000000001", "-in",
                            "skewed.cap", "-out", "m.cap"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(readBack(dir.file("m.cap")).records, expected);
}

// -dedup: what two taps see twice goes once. Equal frames on other ports, and damaged frames
// beside good ones, are no duplicates; a copy outside the window is kept; -start and -num
// count what is left.
TEST_F(EditTest, DuplicatesWithinTheWindowAreDropped) {
    std::vector<RecordCopy> sorted = writeTimed(dir.file("a.cap"), gappyTimes(), 1);
    std::stable_sort(sorted.begin(), sorted.end(), [](const RecordCopy& x, const RecordCopy& y) {
        return timeOf(x) < timeOf(y);
    });
    struct Case {
        std::vector<std::string> args;
        size_t records;
        size_t dropped;
    };
    const size_t n = sorted.size();
    for (const Case& c :
         {Case{{"-shift", "0.0005", "-in", "a.cap", "-dedup", "0.001"}, n, n},
          Case{{"-shift", "0.002", "-in", "a.cap", "-dedup", "0.001"}, 2 * n, 0},
          Case{{"-shift", "0.0005", "-in", "a.cap", "-dedup", "0.001", "-start", "3", "-num", "4"},
               4,
               n}}) {
        std::vector<std::string> args = {"-sort", "-in", "a.cap", "-out", "d.cap"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProcessResult result = run(trceditPath(), args);
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        // With -num the run ends at the count: the copies after it are never looked at.
        const std::string dropped = c.records == 4 ? "" : std::to_string(c.dropped) + "\n";
        EXPECT_EQ(result.output.rfind("Wrote " + std::to_string(c.records) +
                                          " records into 1 file.\nDuplicates dropped:\t" + dropped,
                                      0),
                  0u);
        if (c.dropped == n && c.records == n) {
            EXPECT_EQ(readBack(dir.file("d.cap")).records, sorted);
        }
        if (c.records == 4) {
            EXPECT_EQ(readBack(dir.file("d.cap")).records,
                      std::vector<RecordCopy>(sorted.begin() + 2, sorted.begin() + 6));
        }
    }

    // One frame on ports 0 and 1, good and damaged, 1 ms apart, then again after 5 s.
    auto writer = makeWriter(Format::B4, "GbE", "101/1");
    ASSERT_TRUE(writer->open(dir.file("rules.cap"), "rules"));
    const uint8_t ports[] = {0x00, 0x01, 0x00, 0x80, 0x80, 0x01, 0x00};
    const uint32_t seconds[] = {1000, 1000, 1000, 1000, 1000, 1000, 1005};
    for (size_t i = 0; i < std::size(ports); ++i) {
        RecordValues v;
        v.seconds = seconds[i];
        v.nanoseconds = static_cast<uint32_t>(i) * 1000000;
        v.portByte = ports[i];
        v.layer2Type = 2;
        ASSERT_TRUE(writeData(*writer, Format::B4, v, Bytes(64, 0x5A)));
    }
    writer->close();
    const ProcessResult rules =
        run(trceditPath(), {"-in", "rules.cap", "-dedup", "0.01", "-out", "r.cap"});
    ASSERT_EQ(rules.exitStatus, 0) << rules.output;
    std::vector<uint8_t> kept;
    for (const RecordCopy& r : readBack(dir.file("r.cap")).records) {
        kept.push_back(r.portByte);
    }
    // Kept: port 0, port 1, the first damaged frame, the frame 5 s later.
    EXPECT_EQ(kept, (std::vector<uint8_t>{0x00, 0x01, 0x80, 0x00}));
}

}  // namespace
