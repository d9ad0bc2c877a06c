// A file opened for writing: bytes collect in a block of its own and reach the file in large
// writes, the position and the end written so far are known without asking the system, and
// any failed write, seek or flush leaves the file failed for good, with the operating
// system's error number kept for messages.
//
// It is an output stream too, so that code written for streams can write to it; the stream
// view goes through the same block. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace xcf {

class InputFile;

class OutputFile : public std::ostream {
  public:
    // The largest block. A file starts with a smaller one and gets the next size each time
    // it fills its block: most files a run writes are small (side index files, chunks), and
    // a large one reaches the largest block after two writes.
    static constexpr size_t kBlockSize = 256 * 1024;
    static constexpr size_t kFirstBlockSize = 64 * 1024;

    enum class Creation {
        // Only a name that does not exist yet: never follows a link, never truncates.
        kNewOnly,
        // A new file, or an existing regular file truncated to nothing.
        kNewOrTruncate,
    };

    OutputFile();
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens name for writing as `creation` allows. An existing name that is not a regular
    // file (a FIFO, a device, a folder) is refused: a FIFO would block until a reader comes.
    bool create(const std::string& name, Creation creation);
    // Writes to an open descriptor of the process instead (standard output, a pipe): a
    // duplicate of it, so that close leaves the descriptor itself open. Only forward writes
    // reach a pipe: a writer that seeks back fails there. name is what messages call it.
    bool adopt(int descriptor, const std::string& name);
    // True when the open file did not exist before create.
    bool isNew() const { return createdNew; }
    bool isOpen() const { return file != nullptr; }
    // Writes what is collected and closes; false when any of it failed.
    bool close();
    // Closes without writing what is collected: the file is being given up.
    void discard();

    bool failed() const { return failedState; }
    int systemError() const { return errorNumber; }

    // Appends count bytes at the position.
    void put(const void* bytes, size_t count) {
        if (count != 0 && count <= blockCapacity - blockUsed && block) {
            std::memcpy(block.get() + blockUsed, bytes, count);
            blockUsed += count;
            advance(count);
            return;
        }
        putSlowly(bytes, count);
    }
    // Room for count bytes (at most kBlockSize) at the position, counted as written; the
    // caller fills them at once. nullptr when the file has failed.
    uint8_t* reserve(size_t count) {
        if (count <= blockCapacity - blockUsed && block && !failedState) {
            uint8_t* at = block.get() + blockUsed;
            blockUsed += count;
            advance(count);
            return at;
        }
        return reserveSlowly(count);
    }
    // Moves the position; a failed seek fails the file.
    void seek(uint64_t position);
    uint64_t position() const { return writePosition; }
    // One past the last byte written so far.
    uint64_t end() const { return endPosition; }
    // Hands the collected bytes to the system; false (and the file failed) when they did not
    // get there.
    bool flushBlock();

    // Appends count bytes of input, from offset on, copied by the system from file to file
    // where it can (no pass through either process block). copied tells how many arrived. A
    // write failure fails this file; a read failure (the input cut short, an I/O error) does
    // not: it returns false with copied short of count, and the bytes beyond copied that
    // reached the file are dropped again by later writes or at close.
    bool copyFrom(InputFile& input, uint64_t offset, uint64_t count, uint64_t& copied);
    // Drops what was written from position on (at most what the last copy added): the next
    // write goes there, and the file ends there unless more follows.
    void dropFrom(uint64_t position);

  private:
    // The stream view: everything written through it goes to put.
    class StreamBuffer : public std::streambuf {
      public:
        explicit StreamBuffer(OutputFile& owner) : owner(owner) {}

      protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* bytes, std::streamsize count) override;
        int sync() override;

      private:
        OutputFile& owner;
    };

    // Closes what is open and starts over for a file called name.
    void reset(const std::string& name);
    void putSlowly(const void* bytes, size_t count);
    // A block with room for count (at most kBlockSize) more bytes: the collected bytes are
    // written first where they leave too little, and the block grows. False when the file
    // failed.
    bool makeRoom(size_t count);
    uint8_t* reserveSlowly(size_t count);
    bool copyThroughBlock(InputFile& input, uint64_t offset, uint64_t count, uint64_t& copied);
    bool writeThrough(const void* bytes, size_t count);
    bool fail(int error);
    void advance(size_t count) {
        writePosition += count;
        endPosition = writePosition > endPosition ? writePosition : endPosition;
    }

    StreamBuffer streamBuffer;
    std::FILE* file = nullptr;
    bool createdNew = false;
    bool failedState = false;
    int errorNumber = 0;
    uint64_t writePosition = 0;
    uint64_t endPosition = 0;
    // The furthest any copy reached, which a failed copy may leave beyond endPosition.
    uint64_t physicalEnd = 0;
    std::string path;
    std::unique_ptr<uint8_t[]> block;
    size_t blockCapacity = kFirstBlockSize;
    size_t blockUsed = 0;
};

}  // namespace xcf
