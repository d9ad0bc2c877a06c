// A failed, interrupted or hostile run of the real splicetrc: whatever happens, an existing
// output survives byte for byte unless the run succeeds, nothing the run did not create is
// touched, no temporary file stays behind, and the program ends as it says.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A B3 file of large frames. With record type 2 in its header its records are read one by
// one rather than copied in runs, which makes a merge of two last long enough for a signal to
// land in the middle of it.
void writeLarge(const std::string& path, uint32_t records, uint32_t frameLength,
                int32_t recordType = 3) {
    CXcfPmB3CaptureFileWriter writer("POS", "1A", "Rx", recordType);
    ASSERT_TRUE(writer.open(path, "large"));
    const std::vector<uint8_t> frame(frameLength, 0x5A);
    for (uint32_t i = 0; i < records; ++i) {
        ASSERT_TRUE(writer.writeRecordData(i, 0, 2, i, 0, frameLength, frame.data()));
    }
    writer.close();
}

// A tmpfs of its own, for a full or read-only folder; unmounted again with everything in it.
class Tmpfs {
  public:
    Tmpfs(const std::string& path, const std::string& options) : path(path) {
        fs::create_directory(path);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
        error = mounted ? "" : std::strerror(errno);
    }
    ~Tmpfs() {
        if (mounted) {
            umount2(path.c_str(), MNT_DETACH);
        }
    }
    bool makeReadOnly() {
        return mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    const std::string path;
    bool mounted = false;
    std::string error;
};

// One situation: what it prepares and what the run must do.
struct Scene {
    TempDir dir;
    std::string out = dir.file("o.cap");  // an existing file unless a situation changes it
    std::vector<std::string> inputs = {"a.cap", "b.cap"};
    std::vector<std::string> extraArgs;
    RunOptions options;
    std::unique_ptr<Tmpfs> mount;
    std::string skip;  // why the situation cannot be made on this machine

    int status = 255;
    int signal = 0;
    std::string says;           // a piece of the console output
    uint32_t replacedWith = 0;  // records of the new output, 0 when OUT must be unchanged
    std::function<void(Scene&)> alsoCheck;

    void useMount(const std::string& options) {
        mount = std::make_unique<Tmpfs>(dir.file("mnt"), options);
        if (!mount->mounted) {
            skip = "no tmpfs can be mounted here (" + mount->error + ")";
            return;
        }
        out = mount->path + "/o.cap";
    }
    void interruptWith(int stopSignal) {
        writeLarge(dir.file("big1.cap"), 30000, 1000, 2);
        writeLarge(dir.file("big2.cap"), 30000, 1000, 2);
        inputs = {"big1.cap", "big2.cap"};
        signal = stopSignal;
        status = -1;
        says = "was left unchanged.";
        const std::string folder = dir.path();
        options.whileRunning = [folder, stopSignal](pid_t pid) {
            // As soon as the temporary output exists, the merge is under way.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < deadline) {
                for (const auto& entry : fs::directory_iterator(folder)) {
                    if (entry.path().filename().string().rfind(".o.cap.", 0) == 0) {
                        kill(pid, stopSignal);
                        return;
                    }
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            kill(pid, stopSignal);
        };
    }
};

struct Situation {
    const char* name;
    std::function<void(Scene&)> prepare;
};

void expectUnchanged(const std::string& path, const Bytes& before) {
    EXPECT_EQ(readFile(path), before) << path;
}

const Situation kSituations[] = {
    {"SigintDuringTheMerge", [](Scene& s) { s.interruptWith(SIGINT); }},
    {"SigtermDuringTheMerge", [](Scene& s) { s.interruptWith(SIGTERM); }},
    {"SighupDuringTheMerge", [](Scene& s) { s.interruptWith(SIGHUP); }},
    {"ConsolePipeClosed",
     [](Scene& s) {
         s.options.closeOutputAtOnce = true;
         s.status = 0;
         s.replacedWith = 7;
     }},
    {"StartPastTheFirstInput",
     [](Scene& s) {
         s.extraArgs = {"-start", "99"};
         s.says = "Requested first record 99 > 3";
     }},
    {"FullDisk",
     [](Scene& s) {
         s.useMount("size=64k");
         writeLarge(s.dir.file("a.cap"), 200, 1000);
         s.says = "No space left on device";
     }},
    {"FolderNotWritable",
     [](Scene& s) {
         s.useMount("size=1m");
         if (s.skip.empty()) {
             writeFile(s.out, Bytes(100, 0x0D));
             if (!s.mount->makeReadOnly()) {
                 s.skip = "the tmpfs cannot be made read-only";
             }
         }
         s.says = "no temporary file can be written in the folder";
     }},
    {"FileSizeLimit",
     [](Scene& s) {
         writeLarge(s.dir.file("a.cap"), 200, 1000);
         s.options.fileSizeLimit = 60000;
         s.says = "Failed to write file: '" + s.out + "'\nbecause: File write failure";
     }},
    {"TooManyInputsForTheOpenFileLimit",
     [](Scene& s) {
         s.inputs.assign(40, "a.cap");
         s.options.openFileLimit = 20;
         s.says = "too many open files: 40 input files were given";
     }},
    {"RecordLargerThanMemory",
     [](Scene& s) {
         if (kSanitized) {
             s.skip = "a memory limit cannot be set under the address sanitizer";
             return;
         }
         // One record whose index places the next offset 1.5 GB further: a sparse file.
         SampleOptions huge;
         huge.records = 1;
         writeSample(s.dir.file("huge.cap"), huge);
         Bytes bytes = readFile(s.dir.file("huge.cap"));
         const uint32_t index = be32At(bytes, 27);
         const uint32_t farIndex = 1500u * 1000 * 1000;
         const Bytes entry(bytes.begin() + index, bytes.end());
         bytes.resize(index);
         putAt(bytes, 27, 4, farIndex);
         writeFile(s.dir.file("huge.cap"), bytes);
         std::fstream file(s.dir.file("huge.cap"), std::ios::in | std::ios::out | std::ios::binary);
         file.seekp(farIndex);
         file.write(reinterpret_cast<const char*>(entry.data()), xcf::layout::kIndexEntrySize);
         file.close();
         s.inputs = {"huge.cap", "b.cap"};
         s.options.addressSpaceLimit = uint64_t{1} << 30;
         s.status = 0;
         s.says = "Stopped reading file: 'huge.cap' at record 1 of 1";
         s.replacedWith = 4;
     }},
    {"ProcSelfMemAsInput",
     [](Scene& s) {
         s.inputs = {"/proc/self/mem", "a.cap"};
         s.says = "because: it cannot be read: Input/output error";
     }},
    {"PipeAsInput",
     [](Scene& s) {
         int fds[2];
         ASSERT_EQ(pipe(fds), 0);  // left open for the child to inherit
         s.inputs = {"a.cap", "/dev/fd/" + std::to_string(fds[0])};
         s.says = "because: it is a pipe or FIFO, not a regular file";
     }},
    {"OutputIsAFifo",
     [](Scene& s) {
         fs::remove(s.out);
         ASSERT_EQ(mkfifo(s.out.c_str(), 0644), 0);
         s.says = "because: it is a pipe or FIFO, not a regular file";
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_fifo(t.out)); };
     }},
    {"OutputLinksToAFifo",
     [](Scene& s) {
         ASSERT_EQ(mkfifo(s.dir.file("fifo").c_str(), 0644), 0);
         fs::remove(s.out);
         fs::create_symlink("fifo", s.out);
         s.says = "because: it is a pipe or FIFO, not a regular file";
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_symlink(t.out)); };
     }},
    {"OutputLinksToTheConsolePipe",
     [](Scene& s) {
         fs::remove(s.out);
         fs::create_symlink("/proc/self/fd/1", s.out);
         s.says = "because: it is a pipe or FIFO, not a regular file";
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_symlink(t.out)); };
     }},
    {"SideIndexNameLinksToAnotherFile",
     [](Scene& s) {
         writeFile(s.dir.file("notes.txt"), Bytes(50, 'n'));
         fs::create_symlink("notes.txt", s.out + ".idx");
         s.status = 0;
         s.replacedWith = 7;
         s.alsoCheck = [](Scene& t) {
             EXPECT_EQ(readFile(t.dir.file("notes.txt")), Bytes(50, 'n'));
             EXPECT_TRUE(fs::is_symlink(t.out + ".idx"));
         };
     }},
    {"SideIndexNameIsAFifo",
     [](Scene& s) {
         ASSERT_EQ(mkfifo((s.out + ".idx").c_str(), 0644), 0);
         s.status = 0;
         s.replacedWith = 7;
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_fifo(t.out + ".idx")); };
     }},
    {"SideIndexNameIsAFolder",
     [](Scene& s) {
         fs::create_directory(s.out + ".idx");
         s.status = 0;
         s.replacedWith = 7;
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_directory(t.out + ".idx")); };
     }},
    {"SideIndexNameIsAHardLinkToTheOutput",
     [](Scene& s) {
         ASSERT_EQ(link(s.out.c_str(), (s.out + ".idx").c_str()), 0);
         s.status = 0;
         s.replacedWith = 7;
         s.alsoCheck = [](Scene& t) { EXPECT_EQ(readFile(t.out + ".idx"), Bytes(100, 0x0D)); };
     }},
    {"SideIndexNameLinksToTheOutput",
     [](Scene& s) {
         fs::create_symlink("o.cap", s.out + ".idx");
         s.status = 0;
         s.replacedWith = 7;
     }},
    {"OutputLinksToItsSideIndexName",
     [](Scene& s) {
         fs::rename(s.out, s.out + ".idx");
         fs::create_symlink("o.cap.idx", s.out);
         s.status = 0;
         s.replacedWith = 7;
         s.alsoCheck = [](Scene& t) { EXPECT_TRUE(fs::is_symlink(t.out)); };
     }},
    {"LongestOutputName",
     [](Scene& s) {
         s.out = s.dir.file(std::string(251, 'o') + ".cap");
         s.status = 0;
         s.replacedWith = 7;
     }},
};

void PrintTo(const Situation& c, std::ostream* os) {
    *os << c.name;
}

class SafetyTest : public testing::TestWithParam<Situation> {};

TEST_P(SafetyTest, LeavesNothingButACompleteOutput) {
    Scene s;
    SampleOptions options;
    options.records = 3;
    options.tag = 1;
    writeSample(s.dir.file("a.cap"), options);
    options.records = 4;
    options.tag = 2;
    writeSample(s.dir.file("b.cap"), options);
    writeFile(s.out, Bytes(100, 0x0D));
    GetParam().prepare(s);
    if (!s.skip.empty()) {
        GTEST_SKIP() << s.skip;
    }
    if (s.mount && !fs::exists(s.out)) {
        writeFile(s.out, Bytes(100, 0x0D));
    }
    // Inputs of the test's own folder are compared, except sparse giants.
    auto comparable = [&s](const std::string& input) {
        std::error_code ignored;
        return input.rfind("/", 0) != 0 &&
               fs::file_size(s.dir.file(input), ignored) < (uint64_t{1} << 26);
    };
    std::vector<Bytes> inputsBefore;
    for (const std::string& input : s.inputs) {
        inputsBefore.push_back(comparable(input) ? readFile(s.dir.file(input)) : Bytes());
    }
    const bool outWasAFile = fs::is_regular_file(fs::symlink_status(s.out));
    const Bytes outBefore = outWasAFile ? readFile(s.out) : Bytes();

    std::vector<std::string> args = {splicetrcPath()};
    for (const std::string& input : s.inputs) {
        args.insert(args.end(), {"-in", input});
    }
    args.insert(args.end(), {"-out", s.out});
    args.insert(args.end(), s.extraArgs.begin(), s.extraArgs.end());
    s.options.workingDir = s.dir.path();
    const ProcessResult result = runProgram(args, s.options);

    EXPECT_EQ(result.exitStatus, s.status) << result.output;
    EXPECT_EQ(result.signal, s.signal);
    EXPECT_NE(result.output.find(s.says), std::string::npos) << result.output;
    if (s.replacedWith != 0) {
        const ReadBack back = readBack(s.out);
        EXPECT_TRUE(back.opened);
        EXPECT_EQ(back.numberOfRecords, s.replacedWith);
    } else if (outWasAFile) {
        expectUnchanged(s.out, outBefore);
    }
    for (size_t i = 0; i < s.inputs.size(); ++i) {
        if (comparable(s.inputs[i])) {
            expectUnchanged(s.dir.file(s.inputs[i]), inputsBefore[i]);
        }
    }
    // Nothing of the run's own stays: no temporary output, no side index file.
    for (const auto& entry : fs::directory_iterator(fs::path(s.out).parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.rfind(".o", 0), 0u) << "left behind: " << name;
    }
    if (s.alsoCheck) {
        s.alsoCheck(s);
    }
}

INSTANTIATE_TEST_SUITE_P(Situations, SafetyTest, testing::ValuesIn(kSituations),
                         testing::PrintToStringParamName());

}  // namespace
