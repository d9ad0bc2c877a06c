#include "capfile/common/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace xcf {

namespace {

constexpr uint64_t kPage = 4096;

// errno after a failed library call, or a generic I/O error where the call left none.
int lastError() {
    return errno != 0 ? errno : EIO;
}

}  // namespace

InputFile::~InputFile() {
    close();
}

bool InputFile::open(const std::string& name) {
    close();
    clear();
    std::error_code status;
    const std::filesystem::file_status what = std::filesystem::status(name, status);
    if (status) {
        return fail(status.value());
    }
    if (std::filesystem::is_directory(what)) {
        return fail(EISDIR);
    }
    if (!std::filesystem::is_regular_file(what)) {
        return fail(ESPIPE);
    }
    // Small files are common (chunks, tests, a capture of a few frames): a block the size of
    // the whole file serves them as well as a large one.
    const uint64_t length = std::filesystem::file_size(name, status);
    blockCapacity =
        status ? kBlockSize
               : static_cast<size_t>(std::min<uint64_t>(
                     kBlockSize, std::max<uint64_t>(kPage, (length + kPage - 1) / kPage * kPage)));
    errno = 0;
    file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        return fail(lastError());
    }
    // The read-ahead block does the buffering; a stdio buffer in between would only copy
    // every byte once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    devicePosition = 0;
    return true;
}

void InputFile::swap(InputFile& other) noexcept {
    std::swap(file, other.file);
    std::swap(failedState, other.failedState);
    std::swap(errorNumber, other.errorNumber);
    std::swap(logicalPosition, other.logicalPosition);
    std::swap(devicePosition, other.devicePosition);
    block.swap(other.block);
    std::swap(blockCapacity, other.blockCapacity);
    std::swap(blockFill, other.blockFill);
    std::swap(blockCursor, other.blockCursor);
    std::swap(fillStart, other.fillStart);
    std::swap(fillEnd, other.fillEnd);
    std::swap(readAhead, other.readAhead);
}

void InputFile::close() {
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    releaseBlock();
    logicalPosition = 0;
    devicePosition = -1;
    fillStart = 0;
    fillEnd = 0;
    readAhead = kJumpReadAhead;
}

bool InputFile::fail(int error) {
    failedState = true;
    errorNumber = error;
    return false;
}

int64_t InputFile::size() {
    if (file == nullptr) {
        return -1;
    }
    errno = 0;
    if (std::fseek(file, 0, SEEK_END) != 0) {
        devicePosition = -1;
        errorNumber = lastError();
        return -1;
    }
    const long end = std::ftell(file);
    devicePosition = end;
    return end < 0 ? -1 : static_cast<int64_t>(end);
}

size_t InputFile::deviceRead(uint64_t offset, void* into, size_t count, int& error) {
    error = 0;
    if (file == nullptr) {
        error = EBADF;
        return 0;
    }
    if (offset > static_cast<uint64_t>(LONG_MAX)) {
        error = EOVERFLOW;
        return 0;
    }
#if defined(__linux__)
    // One call per read wherever it lands: records read at random would pay a seek each.
    const int descriptor = fileno(file);
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(descriptor, static_cast<uint8_t*>(into) + got, count - got,
                                  static_cast<off_t>(offset + got));
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = lastError();
            break;
        }
    }
    return got;
#else
    errno = 0;
    if (devicePosition != static_cast<int64_t>(offset)) {
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
            devicePosition = -1;
            error = lastError();
            return 0;
        }
        devicePosition = static_cast<int64_t>(offset);
    }
    const size_t got = std::fread(into, 1, count, file);
    devicePosition += static_cast<int64_t>(got);
    if (got < count) {
        if (std::ferror(file) != 0) {
            error = lastError();
            devicePosition = -1;
        }
        std::clearerr(file);
    }
    return got;
#endif
}

bool InputFile::ensureBlock() {
    if (!block) {
        block.reset(new (std::nothrow) uint8_t[blockCapacity]);
        if (!block) {
            return fail(ENOMEM);
        }
    }
    return true;
}

size_t InputFile::fillSize(uint64_t offset, size_t needed, size_t room) {
    // Reads that go forwards through the file count as going on, also where they skip a
    // little (a record's time alone, then the next record's) or take up the last fill's tail
    // again: only a real jump starts small.
    if (offset >= fillStart && offset <= fillEnd + kJumpReadAhead) {
        readAhead = std::min(readAhead * 4, kBlockSize);
    } else {
        readAhead = kJumpReadAhead;
    }
    const size_t size = std::min(std::max(needed, readAhead), room);
    fillStart = offset;
    fillEnd = offset + size;
    return size;
}

void InputFile::releaseBlock() {
    block.reset();
    blockFill = 0;
    blockCursor = 0;
}

void InputFile::limitBlock(size_t bytes) {
    const size_t limit = static_cast<size_t>(std::max<uint64_t>(kPage, bytes / kPage * kPage));
    if (limit < blockCapacity) {
        // What the block held is read again where it is needed.
        releaseBlock();
        blockCapacity = limit;
    }
}

bool InputFile::seek(uint64_t position) {
    if (failedState || file == nullptr) {
        return false;
    }
    const uint64_t blockStart = logicalPosition - blockCursor;
    if (position >= blockStart && position <= blockStart + blockFill) {
        blockCursor = static_cast<size_t>(position - blockStart);
    } else {
        blockFill = 0;
        blockCursor = 0;
    }
    logicalPosition = position;
    return true;
}

bool InputFile::read(void* into, size_t count) {
    if (failedState || file == nullptr) {
        return fail(errorNumber);
    }
    uint8_t* out = static_cast<uint8_t*>(into);
    while (count > 0) {
        const size_t available = blockFill - blockCursor;
        if (available > 0) {
            const size_t n = std::min(available, count);
            std::memcpy(out, block.get() + blockCursor, n);
            blockCursor += n;
            logicalPosition += n;
            out += n;
            count -= n;
            continue;
        }
        blockFill = 0;
        blockCursor = 0;
        int error = 0;
        if (count >= blockCapacity) {
            // Large pieces go straight to their destination.
            const size_t got = deviceRead(logicalPosition, out, count, error);
            fillStart = logicalPosition;
            logicalPosition += got;
            fillEnd = logicalPosition;
            return got == count || fail(error);
        }
        if (!ensureBlock()) {
            return false;
        }
        blockFill = deviceRead(logicalPosition, block.get(),
                               fillSize(logicalPosition, count, blockCapacity), error);
        if (blockFill == 0) {
            return fail(error);
        }
    }
    return true;
}

const uint8_t* InputFile::peek(size_t count) {
    if (count > blockCapacity || failedState || file == nullptr) {
        return nullptr;
    }
    const size_t available = blockFill - blockCursor;
    if (available < count) {
        if (!ensureBlock()) {
            return nullptr;
        }
        std::memmove(block.get(), block.get() + blockCursor, available);
        blockCursor = 0;
        blockFill = available;
        while (blockFill < count) {
            int error = 0;
            const uint64_t offset = logicalPosition + blockFill;
            const size_t got =
                deviceRead(offset, block.get() + blockFill,
                           fillSize(offset, count - blockFill, blockCapacity - blockFill), error);
            if (got == 0) {
                return nullptr;
            }
            blockFill += got;
        }
    }
    return block.get() + blockCursor;
}

void InputFile::skip(size_t count) {
    blockCursor += count;
    logicalPosition += count;
}

size_t InputFile::readAt(uint64_t offset, void* into, size_t count) {
    int error = 0;
    const size_t got = deviceRead(offset, into, count, error);
    if (error != 0) {
        errorNumber = error;
    }
    return got;
}

}  // namespace xcf
