// What an input is refused for before any reader opens it, in the words of what it is, and
// the open-file limit a merge of many inputs needs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "cli/InputFiles.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

struct Input {
    const char* name;
    std::function<void(const std::string&)> make;  // makes the input under the given name
    std::string refusal;
};

void PrintTo(const Input& i, std::ostream* os) {
    *os << i.name;
}

void makeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    close(fd);
}

const std::string kNotRegular =
    ", not a regular file: capture files are read at random, so save it to a file first";

class InputRefusal : public ::testing::TestWithParam<Input> {};

TEST_P(InputRefusal, SaysWhatTheInputIs) {
    TempDir dir;
    const std::string name = dir.file("in");
    GetParam().make(name);
    EXPECT_EQ(cli::inputRefusal(name), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, InputRefusal,
    ::testing::Values(
        Input{"File", [](const std::string& n) { testsupport::writeFile(n, {1}); }, ""},
        // The readers say why these cannot be opened.
        Input{"Missing", [](const std::string&) {}, ""},
        Input{"LinkToNothing", [](const std::string& n) { fs::create_symlink("gone", n); }, ""},
        Input{"Folder", [](const std::string& n) { fs::create_directory(n); },
              "it is a folder, not a file"},
        Input{"LinkToFolder", [](const std::string& n) { fs::create_directory_symlink(".", n); },
              "it is a folder, not a file"},
        Input{"Fifo", [](const std::string& n) { ASSERT_EQ(mkfifo(n.c_str(), 0600), 0); },
              "it is a pipe or FIFO" + kNotRegular},
        Input{"Socket", makeSocket, "it is a socket" + kNotRegular}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileTypeText, NamesEveryKindThatIsNotAFile) {
    EXPECT_EQ(cli::fileTypeText(fs::file_type::block), "it is a device");
    EXPECT_EQ(cli::fileTypeText(fs::file_type::character), "it is a device");
    EXPECT_EQ(cli::fileTypeText(fs::file_type::unknown), "it is not a file");
}

TEST(OpenFileLimit, IsRaisedToTheHardLimit) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    EXPECT_EQ(cli::openFileLimit(), 64u);
    cli::raiseOpenFileLimit();
    EXPECT_EQ(cli::openFileLimit(), saved.rlim_max);
    setrlimit(RLIMIT_NOFILE, &saved);
}

}  // namespace
