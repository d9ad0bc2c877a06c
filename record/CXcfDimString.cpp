#include "record/CXcfDimString.h"
#include "record/ByteOrder.h"

#include <cstring>

namespace {
constexpr size_t kLengthPrefixSize = 2;

uint16_t prefixLength(const uint8_t* block) {
    return xcf::load16(block);
}
}  // namespace

CXcfDimString::CXcfDimString(CXcfDimString&& other) noexcept
    : length(other.length), bytes(other.bytes), ownsBytes(other.ownsBytes) {
    other.length = 0;
    other.bytes = nullptr;
    other.ownsBytes = true;
}

CXcfDimString& CXcfDimString::operator=(CXcfDimString&& other) noexcept {
    if (this != &other) {
        release();
        length = other.length;
        bytes = other.bytes;
        ownsBytes = other.ownsBytes;
        other.length = 0;
        other.bytes = nullptr;
        other.ownsBytes = true;
    }
    return *this;
}

CXcfDimString::~CXcfDimString() {
    release();
}

void CXcfDimString::release() {
    if (ownsBytes && bytes != nullptr) {
        // The block was allocated as a whole, length bytes included.
        delete[](reinterpret_cast<const uint8_t*>(bytes) - kLengthPrefixSize);
    }
    length = 0;
    bytes = nullptr;
    ownsBytes = true;
}

void CXcfDimString::attach(const uint8_t* block, bool owns) {
    release();
    if (block == nullptr) {
        return;
    }
    length = prefixLength(block);
    bytes = reinterpret_cast<const char*>(block + kLengthPrefixSize);
    ownsBytes = owns;
}

void CXcfDimString::attachBounded(const uint8_t* block, size_t blockSize) {
    release();
    if (block == nullptr || blockSize < kLengthPrefixSize) {
        return;
    }
    const size_t room = blockSize - kLengthPrefixSize;
    const uint16_t announced = prefixLength(block);
    length = room < announced ? static_cast<uint16_t>(room) : announced;
    bytes = reinterpret_cast<const char*>(block + kLengthPrefixSize);
    ownsBytes = false;
}

std::unique_ptr<char[]> CXcfDimString::copyOut() const {
    if (length == 0 || bytes == nullptr) {
        return nullptr;
    }
    std::unique_ptr<char[]> copy(new char[static_cast<size_t>(length) + 1]);
    std::memcpy(copy.get(), bytes, length);
    copy[length] = '\0';
    return copy;
}

std::string CXcfDimString::toString() const {
    if (length == 0 || bytes == nullptr) {
        return std::string();
    }
    const void* zero = std::memchr(bytes, 0, length);
    const size_t count = zero != nullptr
                             ? static_cast<size_t>(static_cast<const char*>(zero) - bytes)
                             : static_cast<size_t>(length);
    return std::string(bytes, count);
}
