// A capture file opened for reading: one handle, a read-ahead block of its own, a logical read
// position, and a failed state that stays until cleared. Reads at a given offset (index
// windows) go through the same handle and leave the position and the block alone.
//
// Nothing here throws. Every I/O error, a short read and a block that cannot be allocated end
// in the failed state, with the operating system's error number kept for messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace xcf {

class OutputFile;

class InputFile {
  public:
    // Size of the read-ahead block, and the most that peek can hand out at once. A file
    // smaller than that gets a block of its own size, rounded up to a page.
    static constexpr size_t kBlockSize = 256 * 1024;
    // What a fill reads after a jump: records read at random (in time order, say) need only
    // their own bytes, and a whole block per record would read the file many times over.
    // Fills that go on where the last one ended grow back to a whole block.
    static constexpr size_t kJumpReadAhead = 4 * 1024;

    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens a regular file. Anything else is refused before it is opened: a FIFO would block
    // until a writer comes, and neither a pipe nor a device can be read at random.
    bool open(const std::string& name);
    void close();
    bool isOpen() const { return file != nullptr; }
    // Exchanges what two objects hold, open file, block and position included, so that one
    // open file can serve one reader after another.
    void swap(InputFile& other) noexcept;

    // True after a failed open, read or seek, until clear.
    bool failed() const { return failedState; }
    void clear() {
        failedState = false;
        errorNumber = 0;
    }
    // Fails the file on purpose, as a short read would: every later read fails until clear.
    void setFailed() { failedState = true; }
    // The error number of the last failure (EIO, EISDIR, ENOMEM, ...); 0 for none, and 0 for
    // a read that failed only because the file ended.
    int systemError() const { return errorNumber; }

    // The file's length in bytes, -1 when it cannot be had. Leaves the position alone.
    int64_t size();
    // Where the next read starts.
    uint64_t position() const { return logicalPosition; }

    // Moves the read position; inside the read-ahead block no data moves at all.
    bool seek(uint64_t position);
    // Reads exactly count bytes at the position and moves past them.
    bool read(void* into, size_t count);
    // The next count bytes (at most the block's size) as one block without moving the position, or
    // nullptr when the file cannot deliver them; skip then moves past them.
    const uint8_t* peek(size_t count);
    void skip(size_t count);
    // Up to count bytes at offset, without moving the position or touching the read-ahead
    // block; the number of bytes read. Fewer than count is an end of file or an error (see
    // systemError); neither makes the file failed.
    size_t readAt(uint64_t offset, void* into, size_t count);

    // Gives the read-ahead block back; the next read that needs one allocates it again.
    void releaseBlock();
    // Caps the read-ahead block at bytes (rounded down to a page, at least one): a program
    // that reads thousands of files in turn holds a block for each. A larger block held now
    // is given back.
    void limitBlock(size_t bytes);

  private:
    // Copies run between the two handles without passing through either block.
    friend class OutputFile;

    bool fail(int error);
    bool ensureBlock();
    // How many bytes a fill of the block at offset reads, at least `needed` (and at most the
    // block's room); notes where it will end.
    size_t fillSize(uint64_t offset, size_t needed, size_t room);
    // Reads up to count bytes from offset into `into`; the count read, or fewer on error or
    // at the end of the file.
    size_t deviceRead(uint64_t offset, void* into, size_t count, int& error);

    std::FILE* file = nullptr;
    bool failedState = false;
    int errorNumber = 0;
    uint64_t logicalPosition = 0;
    // Where the handle itself stands; -1 when not known.
    int64_t devicePosition = -1;
    // Bytes of the file from logicalPosition - blockCursor on.
    std::unique_ptr<uint8_t[]> block;
    size_t blockCapacity = kBlockSize;
    size_t blockFill = 0;
    size_t blockCursor = 0;
    // Where the last fill of the block ended, and how much the next one reads when it goes
    // on from there. A file starts small too: recognising its format takes a few bytes, and
    // a program may open thousands of inputs before it reads any of their records.
    uint64_t fillStart = 0;
    uint64_t fillEnd = 0;
    size_t readAhead = kJumpReadAhead;
};

}  // namespace xcf
