// Shared helpers of the test suites and fuzz targets: temporary folders, whole-file I/O, a
// big-endian byte builder, the console, and a runner for the real executables.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
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

Bytes readFile(const std::string& path);  // empty when it cannot be read
// Always a new file, never the old one truncated; throws when the bytes cannot be written.
void writeFile(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);
void removeFile(const std::string& path);

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
    size_t size() const { return data_.size(); }
    const Bytes& data() const { return data_; }
    Bytes& data() { return data_; }

  private:
    Bytes data_;
};

uint32_t be32At(const Bytes& b, size_t offset);
uint16_t be16At(const Bytes& b, size_t offset);
// Overwrites `width` bytes (1 to 4) at offset with value, big-endian.
void putAt(Bytes& b, size_t offset, size_t width, uint32_t value);

// A record object's block of bytes, as its setters take it.
std::unique_ptr<uint8_t[]> block(const Bytes& bytes);

// A tcpdump global header of version 2.4 (thiszone -3600, sigfigs 7, snaplen 65535, Ethernet).
// The magic goes through the same byte order, so its bytes read a1 b2 c3 d4 or d4 c3 b2 a1.
Bytes pcapHeader(bool bigEndian);

// What the programs write to their console (std::cout) while it lives.
class ConsoleCapture {
  public:
    ConsoleCapture() : saved_(std::cout.rdbuf(text_.rdbuf())) {}
    ~ConsoleCapture() { std::cout.rdbuf(saved_); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::string text() const { return text_.str(); }

  private:
    std::ostringstream text_;
    std::streambuf* saved_;
};

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

// The executables built with the tests; empty in a build without them.
std::string splicetrcPath();
std::string trcinfoPath();
std::string trc2pcapPath();
std::string trcgenPath();
std::string trceditPath();
std::string sourceDir();

// A tmpfs of `size` ("size=64k") mounted on folder while the object lives, for a full disk;
// mounted() is false where this process may not mount one.
class Tmpfs {
  public:
    Tmpfs(const std::string& folder, const char* size);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return ok; }

  private:
    std::string folder;
    bool ok = false;
};

}  // namespace testsupport
