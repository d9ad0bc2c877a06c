// How an output that appears only when complete fails: whatever goes wrong, the name holds
// what it held before, and no kept or temporary file is left behind unless a message names
// it. Running as root, permission denials come from a file system user id of nobody, and a
// file that cannot be renamed from a bind mount on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "cli/OutputOpener.h"
#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

constexpr unsigned kNobody = 65534;

// Makes the temporary file as a writer does, with "new" in it.
int writeNew(const std::string& name) {
    const int fd = open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600);
    if (fd < 0) {
        return errno;
    }
    const bool written = write(fd, "new", 3) == 3;
    close(fd);
    return written ? 0 : EIO;
}

std::string content(const std::string& path) {
    const testsupport::Bytes bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text) {
    testsupport::writeFile(path, testsupport::Bytes(text.begin(), text.end()));
}

// The folder's entries, sorted, the temporary and kept files named by what they are.
std::vector<std::string> entries(const std::string& folder, const cli::SafeOutput& output) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        const std::string name = entry.path().filename().string();
        names.push_back(path == output.temporaryName() ? "TEMPORARY"
                        : name[0] == '.'               ? "HIDDEN"
                                                       : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// File system checks as nobody while it lives: no permission is granted for being root.
class AsNobody {
  public:
    AsNobody() {
        setfsgid(kNobody);
        setfsuid(kNobody);
    }
    ~AsNobody() {
        setfsuid(0);
        setfsgid(0);
    }
};

// A file bind-mounted on another, which can then be neither renamed nor removed.
class BindMount {
  public:
    BindMount(const std::string& source, const std::string& target)
        : target(target),
          mounted(mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0) {}
    ~BindMount() {
        if (mounted) {
            umount2(target.c_str(), 0);
        }
    }
    const std::string target;
    const bool mounted;
};

bool hardLinksAreProtected() {
    std::ifstream setting("/proc/sys/fs/protected_hardlinks");
    int value = 0;
    return setting >> value && value == 1;
}

class SafeOutputTest : public ::testing::Test {
  protected:
    // Prepares out (holding old, unless old is null) and makes its temporary file with create.
    void ready(const char* old, const std::function<int(const std::string&)>& create = writeNew) {
        if (old != nullptr) {
            writeText(target, old);
        }
        ASSERT_TRUE(output.prepare(target, reason)) << reason;
        ASSERT_TRUE(output.createTemporary(create, reason)) << reason;
    }

    TempDir dir;
    const std::string target = dir.file("out");
    cli::SafeOutput output;
    std::string reason;
};

struct Refused {
    const char* name;
    std::function<std::string(const TempDir&)> make;  // makes it, returns the name
    std::string reason;
};

void PrintTo(const Refused& r, std::ostream* os) {
    *os << r.name;
}

class RefusedName : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedName, IsRefusedBeforeAnythingIsCreated) {
    TempDir dir;
    cli::SafeOutput output;
    std::string reason;
    EXPECT_FALSE(output.prepare(GetParam().make(dir), reason));
    EXPECT_EQ(reason, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedName,
    ::testing::Values(
        Refused{"Empty", [](const TempDir&) { return std::string(); }, "the name is empty"},
        Refused{"Folder", [](const TempDir& d) { return d.path(); },
                "it is a folder, not a regular file"},
        Refused{"Fifo",
                [](const TempDir& d) {
                    mkfifo(d.file("f").c_str(), 0600);
                    return d.file("f");
                },
                "it is a pipe or FIFO, not a regular file"},
        Refused{"LinkLoop",
                [](const TempDir& d) {
                    fs::create_symlink("b", d.file("a"));
                    fs::create_symlink("a", d.file("b"));
                    return d.file("a");
                },
                "it cannot be examined: Too many levels of symbolic links"},
        Refused{"TooLong", [](const TempDir& d) { return d.file(std::string(256, 'n')); },
                "it cannot be examined: File name too long"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Prepared {
    const char* name;
    std::function<std::string(const TempDir&)> make;  // makes it, returns the name
    std::string target;                               // in the test's folder
};

void PrintTo(const Prepared& p, std::ostream* os) {
    *os << p.name;
}

class PreparedName : public ::testing::TestWithParam<Prepared> {};

// A link is followed to the file that commit replaces; the longest names still get a
// temporary file, with room for its index file beside it.
TEST_P(PreparedName, LeadsToTheFileThatIsReplaced) {
    TempDir dir;
    cli::SafeOutput output;
    std::string reason;
    ASSERT_TRUE(output.prepare(GetParam().make(dir), reason)) << reason;
    EXPECT_EQ(output.target(), dir.file(GetParam().target));
    ASSERT_TRUE(output.createTemporary(writeNew, reason)) << reason;
    EXPECT_LE(fs::path(output.temporaryName()).filename().string().size() + 4, 255u);
    ASSERT_TRUE(output.commit(reason)) << reason;
    EXPECT_EQ(content(dir.file(GetParam().target)), "new");
}

INSTANTIATE_TEST_SUITE_P(
    Names, PreparedName,
    ::testing::Values(Prepared{"New", [](const TempDir& d) { return d.file("out"); }, "out"},
                      Prepared{"LinkToFile",
                               [](const TempDir& d) {
                                   writeText(d.file("real"), "old");
                                   fs::create_symlink("real", d.file("out"));
                                   return d.file("out");
                               },
                               "real"},
                      Prepared{"LinksToNothing",
                               [](const TempDir& d) {
                                   fs::create_directory(d.file("sub"));
                                   fs::create_symlink("mid", d.file("out"));
                                   fs::create_symlink("sub/end", d.file("mid"));
                                   return d.file("out");
                               },
                               "sub/end"},
                      Prepared{"Longest",
                               [](const TempDir& d) { return d.file(std::string(255, 'n')); },
                               std::string(255, 'n')}),
    [](const auto& info) { return std::string(info.param.name); });

// Two names are one file when device and inode agree, however they are written.
TEST(OneFile, IsKnownByAnyOfItsNames) {
    TempDir dir;
    writeText(dir.file("in"), "in");
    writeText(dir.file("other"), "other");
    fs::create_hard_link(dir.file("in"), dir.file("hard"));
    fs::create_symlink("in", dir.file("soft"));
    fs::create_directory(dir.file("sub"));
    cli::SafeOutput output, viaLink, absent, absentAgain, absentOther;
    std::string reason;
    ASSERT_TRUE(output.prepare(dir.file("in"), reason));
    for (const std::string& input : {dir.file("hard"), dir.file("soft"), dir.path() + "/./in"}) {
        EXPECT_FALSE(output.sparesInputs({dir.file("other"), input}, reason));
        EXPECT_EQ(reason, "it would overwrite the input file '" + input + "'");
    }
    EXPECT_TRUE(output.sparesInputs({dir.file("other"), dir.file("missing")}, reason));

    ASSERT_TRUE(viaLink.prepare(dir.file("hard"), reason));
    ASSERT_TRUE(absent.prepare(dir.file("new"), reason));
    ASSERT_TRUE(absentAgain.prepare(dir.file("sub/../new"), reason));
    ASSERT_TRUE(absentOther.prepare(dir.file("sub/new"), reason));
    EXPECT_EQ(output.targetKey(), viaLink.targetKey());
    EXPECT_EQ(absent.targetKey(), absentAgain.targetKey());
    EXPECT_NE(absent.targetKey(), absentOther.targetKey());
    EXPECT_NE(absent.targetKey(), output.targetKey());
}

struct Refusal {
    const char* name;
    const char* target;  // in the test's folder, or as it stands where folder is "."
    int error;           // what every attempt at a temporary file meets
    std::string folder;  // as the message names it; empty for the test's folder
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class NoTemporaryFile : public ::testing::TestWithParam<Refusal> {};

TEST_P(NoTemporaryFile, NamesTheFolderAndTheCauseAfterTryingFreshHiddenNames) {
    TempDir dir;
    const Refusal& refusal = GetParam();
    const std::string name = refusal.folder == "." ? refusal.target : dir.file(refusal.target);
    const std::string folder = refusal.folder.empty() ? dir.path() : refusal.folder;
    cli::SafeOutput output;
    std::string reason;
    ASSERT_TRUE(output.prepare(name, reason)) << reason;
    std::vector<std::string> tried;
    EXPECT_FALSE(output.createTemporary(
        [&](const std::string& candidate) {
            tried.push_back(candidate);
            return refusal.error;
        },
        reason));
    EXPECT_EQ(reason, "no temporary file can be written in the folder '" + folder +
                          "': " + std::strerror(refusal.error));
    // Only a name that is taken is worth another try.
    ASSERT_EQ(tried.size(), refusal.error == EEXIST ? 100u : 1u);
    const std::string hidden =
        (folder == "." ? "./" : folder + "/") + "." + fs::path(name).filename().string() + ".";
    EXPECT_EQ(tried[0].substr(0, hidden.size()), hidden);
    EXPECT_EQ(tried[0].size(), hidden.size() + 6);
    std::sort(tried.begin(), tried.end());
    EXPECT_EQ(std::unique(tried.begin(), tried.end()), tried.end());
    EXPECT_EQ(output.temporaryName(), "");
}

INSTANTIATE_TEST_SUITE_P(Causes, NoTemporaryFile,
                         ::testing::Values(Refusal{"Denied", "out", EACCES, ""},
                                           Refusal{"EveryNameTaken", "out", EEXIST, ""},
                                           Refusal{"BareNameAndFull", "out.cap", ENOSPC, "."}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeOutputTest, CommitTakesOverThePermissionsOfTheReplacedFile) {
    ready("old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
    ASSERT_TRUE(output.commit(reason)) << reason;
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(content(target), "new");
}

TEST_F(SafeOutputTest, CommitOntoWhatBecameAFolderKeepsTheTemporaryFile) {
    ready("old");
    fs::remove(target);
    fs::create_directories(target + "/inside");
    EXPECT_FALSE(output.commit(reason));
    EXPECT_EQ(reason, "it cannot be replaced: Is a directory");
    EXPECT_FALSE(output.isCommitted());
    EXPECT_EQ(content(output.temporaryName()), "new");
}

TEST_F(SafeOutputTest, RestoreBeforeCommitLeavesTheOldFileAlone) {
    ready("old");
    EXPECT_TRUE(output.restore(reason));
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(entries(dir.path(), output), (std::vector<std::string>{"TEMPORARY", "out"}));
}

TEST_F(SafeOutputTest, KeepingFailsWhenTheTemporaryFileIsGone) {
    ready("old", [](const std::string&) { return 0; });
    EXPECT_FALSE(output.commitKeepingOld(reason));
    EXPECT_EQ(reason, "it cannot be replaced: No such file or directory");
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(entries(dir.path(), output), std::vector<std::string>{"out"});
}

TEST_F(SafeOutputTest, KeepingFailsWhenTheFolderBecameAFile) {
    const std::string folder = dir.file("folder");
    fs::create_directory(folder);
    ASSERT_TRUE(output.prepare(folder + "/out", reason)) << reason;
    ASSERT_TRUE(output.createTemporary(writeNew, reason)) << reason;
    fs::rename(folder, dir.file("moved"));
    writeText(folder, "file");
    EXPECT_FALSE(output.commitKeepingOld(reason));
    EXPECT_EQ(reason, "it cannot be replaced: Not a directory");
}

// The new file is already in place when restore finds that the old one cannot go back.
TEST_F(SafeOutputTest, RestoreNamesTheKeptFileWhenItCannotGoBack) {
    ready("old");
    ASSERT_TRUE(output.commitKeepingOld(reason)) << reason;
    fs::remove(target);
    fs::create_directories(target + "/inside");
    EXPECT_FALSE(output.restore(reason));
    ASSERT_EQ(entries(dir.path(), output), (std::vector<std::string>{"HIDDEN", "out"}));
    std::string kept;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        kept = entry.path().filename() == "out" ? kept : entry.path().string();
    }
    EXPECT_EQ(reason, "the file it replaced is kept as '" + kept + "': Is a directory");
    EXPECT_EQ(content(kept), "old");
}

TEST_F(SafeOutputTest, RestoreSaysWhenTheNewFileCannotBeRemoved) {
    ready(nullptr);
    ASSERT_TRUE(output.commitKeepingOld(reason)) << reason;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
    {
        AsNobody nobody;
        EXPECT_FALSE(output.restore(reason));
    }
    EXPECT_EQ(reason, "it cannot be removed: Permission denied");
    EXPECT_EQ(content(target), "new");
}

TEST_F(SafeOutputTest, KeepingFailsWhereTheFolderCannotBeWritten) {
    ready("old");
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec);
    {
        AsNobody nobody;
        EXPECT_FALSE(output.commitKeepingOld(reason));
    }
    EXPECT_EQ(reason, "it cannot be replaced: Permission denied");
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(entries(dir.path(), output), (std::vector<std::string>{"TEMPORARY", "out"}));
}

// Where the old file may not get a second name, it is moved aside instead; either way a
// failed rename of the new file puts it back.
class KeptOld : public SafeOutputTest, public ::testing::WithParamInterface<bool> {};

TEST_P(KeptOld, GoesBackWhenTheNewFileCannotReplaceIt) {
    const bool movedAside = GetParam();
    if (movedAside && !hardLinksAreProtected()) {
        GTEST_SKIP() << "hard links to others' files are allowed here: none is refused";
    }
    ready("old");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(target, fs::perms::owner_read);
    writeText(dir.file("elsewhere"), "mounted");
    {
        BindMount busy(dir.file("elsewhere"), output.temporaryName());
        if (!busy.mounted) {
            GTEST_SKIP() << "bind mounts are refused here: " << std::strerror(errno);
        }
        std::optional<AsNobody> nobody;
        if (movedAside) {
            nobody.emplace();
        }
        EXPECT_FALSE(output.commitKeepingOld(reason));
    }
    EXPECT_EQ(reason, "it cannot be replaced: Device or resource busy");
    EXPECT_EQ(content(target), "old");
    EXPECT_EQ(entries(dir.path(), output),
              (std::vector<std::string>{"TEMPORARY", "elsewhere", "out"}));
}

TEST_P(KeptOld, ComesBackOnRestoreAndGoesOnRelease) {
    const bool movedAside = GetParam();
    if (movedAside && !hardLinksAreProtected()) {
        GTEST_SKIP() << "hard links to others' files are allowed here: none is refused";
    }
    // The steps as nobody where the old file is to be moved aside, the checks as root.
    const auto step = [movedAside](const std::function<bool()>& act) {
        std::optional<AsNobody> nobody;
        if (movedAside) {
            nobody.emplace();
        }
        return act();
    };
    for (const bool released : {false, true}) {
        ready("old");
        fs::permissions(dir.path(), fs::perms::all);
        fs::permissions(target, fs::perms::owner_read);
        ASSERT_TRUE(step([&] { return output.commitKeepingOld(reason); })) << reason;
        EXPECT_EQ(content(target), "new");
        EXPECT_EQ(entries(dir.path(), output), (std::vector<std::string>{"HIDDEN", "out"}));
        if (released) {
            step([&] {
                output.release();
                return true;
            });
        } else {
            ASSERT_TRUE(step([&] { return output.restore(reason); })) << reason;
        }
        EXPECT_EQ(content(target), released ? "new" : "old");
        EXPECT_EQ(entries(dir.path(), output), std::vector<std::string>{"out"});
        fs::remove(target);
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, KeptOld, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MovedAside" : "Linked"; });

struct Failed {
    const char* name;
    int systemError;    // the writer's, after its create failed
    std::string cause;  // as the message gives it
};

void PrintTo(const Failed& f, std::ostream* os) {
    *os << f.name;
}

class WriterCannotCreate : public ::testing::TestWithParam<Failed> {};

// A writer that fails without a system error still gives a cause, not an endless retry.
TEST_P(WriterCannotCreate, IsReportedWithTheCause) {
    TempDir dir;
    const std::string name = dir.file("o.cap");
    const std::vector<std::string> inputs;
    const cli::RunReport report(name);
    const cli::OutputOpener opener(report, inputs, "openOutput");
    CXcfCaptureFileCommon writer;
    writer.lastSystemError = GetParam().systemError;
    cli::SafeOutput output;
    int calls = 0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(opener.open(output, name, writer, [&calls](const std::string&) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR (openOutput) - Failed to open file: '" + name +
                  "'\nbecause: no temporary file can be written in the folder '" + dir.path() +
                  "': " + GetParam().cause + "\n");
    EXPECT_EQ(calls, 1);
}

INSTANTIATE_TEST_SUITE_P(Causes, WriterCannotCreate,
                         ::testing::Values(Failed{"Known", ENOSPC, "No space left on device"},
                                           Failed{"Unknown", 0, "Input/output error"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
