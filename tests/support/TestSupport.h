// Shared helpers of the test suites: temporary folders, whole-file I/O, a big-endian
// byte builder and a runner for the real executable.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);

// Appends values in the tester family's byte order (big-endian), so that tests can lay
// out files byte by byte without the writer classes.
class ByteBuilder {
  public:
    ByteBuilder& u8(uint32_t v);
    ByteBuilder& u16(uint32_t v);
    ByteBuilder& u32(uint32_t v);
    ByteBuilder& le16(uint32_t v);
    ByteBuilder& le32(uint32_t v);
    ByteBuilder& text(const std::string& s);     // characters only
    ByteBuilder& counted(const std::string& s);  // 16-bit length, then characters
    ByteBuilder& bytes(const Bytes& b);
    ByteBuilder& fill(size_t count, uint8_t value = 0);
    void put32At(size_t offset, uint32_t v);  // overwrite in place
    size_t size() const { return data_.size(); }
    const Bytes& data() const { return data_; }
    Bytes& data() { return data_; }

  private:
    Bytes data_;
};

uint32_t be32At(const Bytes& b, size_t offset);
uint16_t be16At(const Bytes& b, size_t offset);

struct ProcessResult {
    int exitStatus = -1;  // 0..255 as the shell sees it, or -1 when killed by a signal
    int signal = 0;       // the signal that ended the process, 0 when it exited
    std::string output;   // standard output
};

struct RunOptions {
    std::string workingDir;          // empty: the current folder
    uint64_t fileSizeLimit = 0;      // RLIMIT_FSIZE for the child when not 0
    uint64_t openFileLimit = 0;      // RLIMIT_NOFILE (soft and hard) when not 0
    uint64_t addressSpaceLimit = 0;  // RLIMIT_AS when not 0
    bool closeOutputAtOnce = false;  // the reader of standard output goes away at once
    // Called with the child's pid while it runs, before its output is read.
    std::function<void(pid_t)> whileRunning;
};

// Runs a program with the given arguments (args[0] is the program path) and collects its
// standard output and exit status.
ProcessResult runProgram(const std::vector<std::string>& args, const RunOptions& options = {});

// The splicetrc executable built with the tests.
std::string splicetrcPath();
// The trcinfo executable built with the tests.
std::string trcinfoPath();
std::string sourceDir();

}  // namespace testsupport
