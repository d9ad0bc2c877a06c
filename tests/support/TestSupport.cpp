#include "support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir()
    : path_((std::filesystem::temp_directory_path() / "splicetrc-test-XXXXXX").string()) {
    if (mkdtemp(path_.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Bytes readFile(const std::string& path) {
    Bytes bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return bytes;
    }
    uint8_t buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(in);
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    // ext4 flushes a file that was truncated and rewritten when it is closed, which would
    // slow every rewrite of an input down to the disk's pace.
    removeFile(path);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

void removeFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
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

uint32_t be32At(const Bytes& b, size_t offset) {
    return (uint32_t{b.at(offset)} << 24) | (uint32_t{b.at(offset + 1)} << 16) |
           (uint32_t{b.at(offset + 2)} << 8) | uint32_t{b.at(offset + 3)};
}

uint16_t be16At(const Bytes& b, size_t offset) {
    return static_cast<uint16_t>((b.at(offset) << 8) | b.at(offset + 1));
}

void putAt(Bytes& b, size_t offset, size_t width, uint32_t value) {
    for (size_t i = 0; i < width; ++i) {
        b.at(offset + i) = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
    }
}

std::unique_ptr<uint8_t[]> block(const Bytes& bytes) {
    auto b = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), b.get());
    return b;
}

Bytes pcapHeader(bool bigEndian) {
    ByteBuilder b;
    auto put16 = [&](uint32_t v) { bigEndian ? b.u16(v) : b.le16(v); };
    auto put32 = [&](uint32_t v) { bigEndian ? b.u32(v) : b.le32(v); };
    put32(0xa1b2c3d4);
    put16(2);
    put16(4);
    put32(static_cast<uint32_t>(-3600));
    put32(7);
    put32(65535);
    put32(1);
    return b.data();
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

#ifndef SPLICETRC_EXE
#define SPLICETRC_EXE ""
#endif
#ifndef TRCINFO_EXE
#define TRCINFO_EXE ""
#endif
#ifndef TRC2PCAP_EXE
#define TRC2PCAP_EXE ""
#endif
#ifndef TRCGEN_EXE
#define TRCGEN_EXE ""
#endif
#ifndef TRCEDIT_EXE
#define TRCEDIT_EXE ""
#endif

std::string splicetrcPath() {
    return SPLICETRC_EXE;
}
std::string trcinfoPath() {
    return TRCINFO_EXE;
}
std::string trc2pcapPath() {
    return TRC2PCAP_EXE;
}
std::string trcgenPath() {
    return TRCGEN_EXE;
}
std::string trceditPath() {
    return TRCEDIT_EXE;
}
std::string sourceDir() {
    return SPLICETRC_SOURCE_DIR;
}

Tmpfs::Tmpfs(const std::string& folder, const char* size) : folder(folder) {
    std::filesystem::create_directory(folder);
    ok = mount("tmpfs", folder.c_str(), "tmpfs", 0, size) == 0;
}

Tmpfs::~Tmpfs() {
    if (ok) {
        umount2(folder.c_str(), MNT_DETACH);
    }
}

}  // namespace testsupport
