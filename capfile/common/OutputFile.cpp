#include "capfile/common/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <new>
#include <system_error>

#include "capfile/common/InputFile.h"

#include <unistd.h>

namespace xcf {

namespace {

int lastError() {
    return errno != 0 ? errno : EIO;
}

// 0 when name is absent or a regular file (through links); otherwise why it cannot be written.
int unwritableKind(const std::string& name) {
    std::error_code ignored;
    const std::filesystem::file_status what = std::filesystem::status(name, ignored);
    if (!std::filesystem::exists(what) || std::filesystem::is_regular_file(what)) {
        return 0;
    }
    return std::filesystem::is_directory(what) ? EISDIR : ESPIPE;
}

}  // namespace

OutputFile::OutputFile() : std::ostream(nullptr), streamBuffer(*this) {
    rdbuf(&streamBuffer);
}

OutputFile::~OutputFile() {
    // Destruction finishes nothing, but what was written reaches the file, as a stream's
    // buffer would on destruction.
    close();
}

bool OutputFile::fail(int error) {
    if (!failedState) {
        errorNumber = error;
    }
    failedState = true;
    setstate(std::ios::badbit);
    return false;
}

void OutputFile::reset(const std::string& name) {
    close();
    std::ostream::clear();
    failedState = false;
    errorNumber = 0;
    writePosition = 0;
    endPosition = 0;
    physicalEnd = 0;
    createdNew = false;
    path = name;
    blockCapacity = kFirstBlockSize;
}

bool OutputFile::adopt(int descriptor, const std::string& name) {
    reset(name);
    errno = 0;
    const int own = dup(descriptor);
    if (own < 0) {
        return fail(lastError());
    }
    file = fdopen(own, "wb");
    if (file == nullptr) {
        const int error = lastError();
        ::close(own);
        return fail(error);
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return true;
}

bool OutputFile::create(const std::string& name, Creation creation) {
    reset(name);
    errno = 0;
    file = std::fopen(name.c_str(), "wbx");
    if (file != nullptr) {
        createdNew = true;
    } else if (errno == EEXIST && creation == Creation::kNewOrTruncate) {
        if (const int kind = unwritableKind(name)) {
            return fail(kind);
        }
        errno = 0;
        file = std::fopen(name.c_str(), "wb");
    }
    if (file == nullptr) {
        return fail(lastError());
    }
    // The block does the buffering; a stdio buffer would copy every byte once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return true;
}

bool OutputFile::close() {
    if (file == nullptr) {
        return !failedState;
    }
    flushBlock();
    errno = 0;
    if (std::fclose(file) != 0) {
        fail(lastError());
    }
    file = nullptr;
    block.reset();
    if (physicalEnd > endPosition && !failedState) {
        // A copy that failed half-way left bytes beyond what the file holds.
        std::error_code error;
        std::filesystem::resize_file(path, endPosition, error);
        if (error) {
            fail(error.value());
        }
    }
    return !failedState;
}

void OutputFile::discard() {
    blockUsed = 0;
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    block.reset();
}

bool OutputFile::writeThrough(const void* bytes, size_t count) {
    if (file == nullptr) {
        return fail(EBADF);
    }
    errno = 0;
    if (std::fwrite(bytes, 1, count, file) != count) {
        return fail(lastError());
    }
    return true;
}

bool OutputFile::flushBlock() {
    if (failedState) {
        return false;
    }
    if (blockUsed == 0) {
        return true;
    }
    const size_t count = blockUsed;
    blockUsed = 0;
    return writeThrough(block.get(), count);
}

void OutputFile::putSlowly(const void* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    if (failedState || file == nullptr) {
        fail(EBADF);
        return;
    }
    if (count >= kBlockSize) {
        // As large as the largest block: straight to the file.
        if (flushBlock() && writeThrough(bytes, count)) {
            advance(count);
        }
        return;
    }
    if (!makeRoom(count)) {
        return;
    }
    std::memcpy(block.get() + blockUsed, bytes, count);
    blockUsed += count;
    advance(count);
}

bool OutputFile::makeRoom(size_t count) {
    if (block && count <= blockCapacity - blockUsed) {
        return true;
    }
    if (block) {
        if (!flushBlock()) {
            return false;
        }
        if (blockCapacity < kBlockSize) {
            // The file has outgrown its block.
            blockCapacity = std::min(kBlockSize, std::max(count, blockCapacity * 2));
            block.reset();
        }
    }
    blockCapacity = std::max(blockCapacity, count);
    if (!block) {
        block.reset(new (std::nothrow) uint8_t[blockCapacity]);
        if (!block) {
            return fail(ENOMEM);
        }
    }
    return true;
}

uint8_t* OutputFile::reserveSlowly(size_t count) {
    if (failedState || file == nullptr || count > kBlockSize) {
        fail(failedState ? errorNumber : EBADF);
        return nullptr;
    }
    if (!makeRoom(count)) {
        return nullptr;
    }
    uint8_t* at = block.get() + blockUsed;
    blockUsed += count;
    advance(count);
    return at;
}

void OutputFile::seek(uint64_t position) {
    if (position == writePosition) {
        return;
    }
    if (!flushBlock()) {
        return;
    }
    if (position > static_cast<uint64_t>(LONG_MAX)) {
        fail(EOVERFLOW);
        return;
    }
    errno = 0;
    if (file == nullptr || std::fseek(file, static_cast<long>(position), SEEK_SET) != 0) {
        fail(file == nullptr ? EBADF : lastError());
        return;
    }
    writePosition = position;
}

bool OutputFile::copyThroughBlock(InputFile& input, uint64_t offset, uint64_t count,
                                  uint64_t& copied) {
    constexpr size_t kPiece = kBlockSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kPiece]);
    if (!buffer) {
        return fail(ENOMEM);
    }
    while (copied < count) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kPiece, count - copied));
        const size_t got = input.readAt(offset + copied, buffer.get(), want);
        if (got > 0 && !writeThrough(buffer.get(), got)) {
            return false;
        }
        copied += got;
        if (got < want) {
            return false;
        }
    }
    return true;
}

bool OutputFile::copyFrom(InputFile& input, uint64_t offset, uint64_t count, uint64_t& copied) {
    copied = 0;
    if (failedState || file == nullptr || input.file == nullptr) {
        return fail(failedState ? errorNumber : EBADF);
    }
    if (!flushBlock()) {
        return false;
    }
    bool complete = false;
    bool copiedBySystem = false;
#if defined(__linux__)
    // The kernel copies from page cache to page cache, as cat does.
    loff_t from = static_cast<loff_t>(offset);
    loff_t to = static_cast<loff_t>(writePosition);
    const int in = fileno(input.file);
    const int out = fileno(file);
    int error = 0;
    while (copied < count) {
        const ssize_t n =
            copy_file_range(in, &from, out, &to, static_cast<size_t>(count - copied), 0);
        if (n > 0) {
            copied += static_cast<uint64_t>(n);
            continue;
        }
        error = n == 0 ? 0 : errno;
        if (error != EINTR) {
            break;
        }
    }
    complete = copied == count;
    copiedBySystem = complete || copied > 0 || error == 0 || error == EIO;
    if (!complete && (error == ENOSPC || error == EFBIG || error == EDQUOT || error == EBADF)) {
        fail(error);
    }
#endif
    if (!complete && !copiedBySystem && !failedState) {
        // No system copy between these files: through a block instead.
        if (writePosition > static_cast<uint64_t>(LONG_MAX) ||
            std::fseek(file, static_cast<long>(writePosition), SEEK_SET) != 0) {
            return fail(EOVERFLOW);
        }
        complete = copyThroughBlock(input, offset, count, copied);
    }
    const uint64_t reached = writePosition + copied;
    physicalEnd = std::max(physicalEnd, reached);
    if (failedState) {
        return false;
    }
    advance(copied);
    // The handle's own position follows the copy, for the writes after it.
    if (writePosition > static_cast<uint64_t>(LONG_MAX) ||
        std::fseek(file, static_cast<long>(writePosition), SEEK_SET) != 0) {
        return fail(EOVERFLOW);
    }
    return complete;
}

void OutputFile::dropFrom(uint64_t position) {
    if (failedState || position >= writePosition || blockUsed != 0) {
        return;
    }
    writePosition = position;
    endPosition = std::min(endPosition, position);
    if (position > static_cast<uint64_t>(LONG_MAX) ||
        std::fseek(file, static_cast<long>(position), SEEK_SET) != 0) {
        fail(EOVERFLOW);
    }
}

OutputFile::StreamBuffer::int_type OutputFile::StreamBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    const char byte = traits_type::to_char_type(c);
    owner.put(&byte, 1);
    return owner.failed() ? traits_type::eof() : c;
}

std::streamsize OutputFile::StreamBuffer::xsputn(const char* bytes, std::streamsize count) {
    if (count <= 0) {
        return 0;
    }
    owner.put(bytes, static_cast<size_t>(count));
    return owner.failed() ? 0 : count;
}

int OutputFile::StreamBuffer::sync() {
    if (!owner.flushBlock()) {
        return -1;
    }
    errno = 0;
    return owner.file != nullptr && std::fflush(owner.file) != 0 ? -1 : 0;
}

}  // namespace xcf
