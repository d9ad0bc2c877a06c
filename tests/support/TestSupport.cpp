#include "support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "splicetrc-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

ByteBuilder& ByteBuilder::u8(uint32_t v) {
    data_.push_back(static_cast<uint8_t>(v));
    return *this;
}

ByteBuilder& ByteBuilder::u16(uint32_t v) {
    data_.push_back(static_cast<uint8_t>(v >> 8));
    data_.push_back(static_cast<uint8_t>(v));
    return *this;
}

ByteBuilder& ByteBuilder::u32(uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        data_.push_back(static_cast<uint8_t>(v >> shift));
    }
    return *this;
}

ByteBuilder& ByteBuilder::le16(uint32_t v) {
    data_.push_back(static_cast<uint8_t>(v));
    data_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

ByteBuilder& ByteBuilder::le32(uint32_t v) {
    for (int shift = 0; shift <= 24; shift += 8) {
        data_.push_back(static_cast<uint8_t>(v >> shift));
    }
    return *this;
}

ByteBuilder& ByteBuilder::text(const std::string& s) {
    data_.insert(data_.end(), s.begin(), s.end());
    return *this;
}

ByteBuilder& ByteBuilder::counted(const std::string& s) {
    u16(static_cast<uint32_t>(s.size()));
    return text(s);
}

ByteBuilder& ByteBuilder::bytes(const Bytes& b) {
    data_.insert(data_.end(), b.begin(), b.end());
    return *this;
}

ByteBuilder& ByteBuilder::fill(size_t count, uint8_t value) {
    data_.insert(data_.end(), count, value);
    return *this;
}

void ByteBuilder::put32At(size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        data_.at(offset + i) = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
}

uint32_t be32At(const Bytes& b, size_t offset) {
    return (uint32_t{b.at(offset)} << 24) | (uint32_t{b.at(offset + 1)} << 16) |
           (uint32_t{b.at(offset + 2)} << 8) | uint32_t{b.at(offset + 3)};
}

uint16_t be16At(const Bytes& b, size_t offset) {
    return static_cast<uint16_t>((b.at(offset) << 8) | b.at(offset + 1));
}

ProcessResult runProgram(const std::vector<std::string>& args, const RunOptions& options) {
    ProcessResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        return result;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[1]);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) {
            _exit(127);
        }
        const std::pair<int, uint64_t> limits[] = {{RLIMIT_FSIZE, options.fileSizeLimit},
                                                   {RLIMIT_NOFILE, options.openFileLimit},
                                                   {RLIMIT_AS, options.addressSpaceLimit}};
        for (const auto& [resource, value] : limits) {
            if (value != 0) {
                const struct rlimit limit = {value, value};
                setrlimit(resource, &limit);
            }
        }
        std::vector<char*> argv;
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (options.closeOutputAtOnce) {
        close(fds[0]);
    }
    if (options.whileRunning) {
        options.whileRunning(pid);
    }
    if (!options.closeOutputAtOnce) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        }
        close(fds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

std::string splicetrcPath() {
    return SPLICETRC_EXE;
}
std::string sourceDir() {
    return SPLICETRC_SOURCE_DIR;
}
std::string trcinfoPath() {
    return TRCINFO_EXE;
}

}  // namespace testsupport
