// View of a text stored as a 16-bit big-endian length followed by the characters, without
// a terminator, inside a larger block such as one slot of a source name table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CXcfDimString {
  public:
    CXcfDimString() = default;
    CXcfDimString(const CXcfDimString&) = delete;
    CXcfDimString& operator=(const CXcfDimString&) = delete;
    CXcfDimString(CXcfDimString&& other) noexcept;
    CXcfDimString& operator=(CXcfDimString&& other) noexcept;
    virtual ~CXcfDimString();

    // The caller guarantees that the announced number of characters is readable behind the
    // length bytes. With ownsBytes true the string frees the whole block (allocated with
    // new uint8_t[]) when it is released.
    void attach(const uint8_t* block, bool ownsBytes);

    // Like attach without ownership, but never lets the text reach past the block's end: a
    // damaged length is capped at blockSize - 2.
    void attachBounded(const uint8_t* block, size_t blockSize);

    // The characters followed by a zero byte; none for an empty string.
    std::unique_ptr<char[]> copyOut() const;

    // The characters up to the first zero byte within the length.
    std::string toString() const;

    uint16_t getLength() const { return length; }

  private:
    void release();

    uint16_t length = 0;
    const char* bytes = nullptr;  // first character, two bytes behind the block's start
    bool ownsBytes = true;
};
