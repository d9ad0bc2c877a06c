#include "capfile/write/CXcfPcapngFileWriter.h"

#include <algorithm>
#include <cstring>

#include "record/ByteOrder.h"

namespace {

constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0Au;
constexpr uint32_t kInterfaceDescriptionBlock = 1;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4Du;

constexpr uint16_t kOptionEnd = 0;
constexpr uint16_t kOptionComment = 1;
constexpr uint16_t kShbUserApplication = 4;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kIfTimestampResolution = 9;
constexpr uint16_t kEpbFlags = 2;
constexpr uint32_t kEpbFlagsInbound = 1;  // direction bits 0-1: 01
constexpr uint8_t kNanosecondResolution = 9;

// Fixed part of an enhanced packet block before its data: type, length, interface, time
// (high and low halves), captured and original length.
constexpr size_t kPacketFixedSize = 28;
// Packets up to this size are laid out in the output's block in one piece.
constexpr uint32_t kInPlaceLimit = 16 * 1024;

void storePacketHead(uint8_t* at, uint32_t total, uint32_t interfaceId, uint64_t time,
                     uint32_t capturedLength, uint32_t originalLength) {
    xcf::store32LittleEndian(at, kEnhancedPacketBlock);
    xcf::store32LittleEndian(at + 4, total);
    xcf::store32LittleEndian(at + 8, interfaceId);
    xcf::store32LittleEndian(at + 12, static_cast<uint32_t>(time >> 32));
    xcf::store32LittleEndian(at + 16, static_cast<uint32_t>(time));
    xcf::store32LittleEndian(at + 20, capturedLength);
    xcf::store32LittleEndian(at + 24, originalLength);
}

size_t padded(size_t length) {
    return (length + 3) & ~size_t{3};
}

void append16(std::string& out, uint32_t value) {
    uint8_t bytes[2];
    xcf::store16LittleEndian(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void append32(std::string& out, uint32_t value) {
    uint8_t bytes[4];
    xcf::store32LittleEndian(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void appendOption(std::string& out, uint16_t code, const std::string& value) {
    // An option's length field is 16 bits.
    const size_t length = std::min<size_t>(value.size(), 0xFFFC);
    append16(out, code);
    append16(out, static_cast<uint32_t>(length));
    out.append(value, 0, length);
    out.append(padded(length) - length, '\0');
}

}  // namespace

CXcfPcapngFileWriter::CXcfPcapngFileWriter(std::string application)
    : application(std::move(application)) {
    formatCode = "pcapng";
}

CXcfPcapngFileWriter::~CXcfPcapngFileWriter() = default;

void CXcfPcapngFileWriter::putBlock(uint32_t type, const std::string& body) {
    const uint32_t total = static_cast<uint32_t>(body.size() + 12);
    std::string block;
    append32(block, type);
    append32(block, total);
    block += body;
    append32(block, total);
    put(block.data(), block.size());
}

void CXcfPcapngFileWriter::writeFileHeader() {
    interfaces = 0;
    std::string body;
    append32(body, kByteOrderMagic);
    append16(body, 1);  // version 1.0
    append16(body, 0);
    append32(body, 0xFFFFFFFFu);  // section length -1: not given
    append32(body, 0xFFFFFFFFu);
    appendOption(body, kShbUserApplication, application);
    append32(body, kOptionEnd);
    putBlock(kSectionHeaderBlock, body);
}

uint32_t CXcfPcapngFileWriter::addInterface(uint32_t linkType, const std::string& name) {
    std::string body;
    append16(body, linkType);
    append16(body, 0);
    append32(body, 0);  // snapshot length 0: no limit
    if (!name.empty()) {
        appendOption(body, kIfName, name);
    }
    appendOption(body, kIfTimestampResolution, std::string(1, char{kNanosecondResolution}));
    append32(body, kOptionEnd);
    putBlock(kInterfaceDescriptionBlock, body);
    return interfaces++;
}

bool CXcfPcapngFileWriter::writePacket(uint32_t interfaceId, uint64_t timeNanoseconds,
                                       uint32_t originalLength, uint32_t capturedLength,
                                       const uint8_t* bytes, const std::string& comment) {
    if (interfaceId >= interfaces || (bytes == nullptr && capturedLength > 0)) {
        return false;
    }
    // Also keeps the block's 32-bit length field from overflowing.
    capturedLength = keptLength(capturedLength);
    const size_t commentLength = std::min<size_t>(comment.size(), 0xFFFC);
    const size_t optionsSize = 8 + (comment.empty() ? 0 : 4 + padded(commentLength)) + 4;
    const uint32_t total =
        static_cast<uint32_t>(kPacketFixedSize + padded(capturedLength) + optionsSize + 4);

    // A packet that fits the output's block is laid out in place in one piece.
    if (total <= kInPlaceLimit) {
        uint8_t* block = reserve(total);
        if (block == nullptr) {
            return false;
        }
        storePacketHead(block, total, interfaceId, timeNanoseconds, capturedLength, originalLength);
        uint8_t* at = block + kPacketFixedSize;
        // The padding's word is zeroed first and the frame copied over its start: cheaper,
        // a packet, than a second call for up to three bytes.
        const size_t paddedLength = padded(capturedLength);
        if (paddedLength != 0) {
            xcf::store32LittleEndian(at + paddedLength - 4, 0);
        }
        if (capturedLength > 0) {
            std::memcpy(at, bytes, capturedLength);
        }
        at += paddedLength;
        xcf::store16LittleEndian(at, kEpbFlags);
        xcf::store16LittleEndian(at + 2, 4);
        xcf::store32LittleEndian(at + 4, kEpbFlagsInbound);
        at += 8;
        if (!comment.empty()) {
            xcf::store16LittleEndian(at, kOptionComment);
            xcf::store16LittleEndian(at + 2, static_cast<uint32_t>(commentLength));
            std::memcpy(at + 4, comment.data(), commentLength);
            std::memset(at + 4 + commentLength, 0, padded(commentLength) - commentLength);
            at += 4 + padded(commentLength);
        }
        xcf::store32LittleEndian(at, kOptionEnd);
        xcf::store32LittleEndian(at + 4, total);
        return !hasFailed();
    }
    uint8_t* fixed = reserve(kPacketFixedSize);
    if (fixed == nullptr) {
        return false;
    }
    storePacketHead(fixed, total, interfaceId, timeNanoseconds, capturedLength, originalLength);
    put(bytes, capturedLength);
    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    put(kZeros, padded(capturedLength) - capturedLength);

    uint8_t flags[8];
    xcf::store16LittleEndian(flags, kEpbFlags);
    xcf::store16LittleEndian(flags + 2, 4);
    xcf::store32LittleEndian(flags + 4, kEpbFlagsInbound);
    put(flags, sizeof flags);
    if (!comment.empty()) {
        uint8_t head[4];
        xcf::store16LittleEndian(head, kOptionComment);
        xcf::store16LittleEndian(head + 2, static_cast<uint32_t>(commentLength));
        put(head, sizeof head);
        put(comment.data(), commentLength);
        put(kZeros, padded(commentLength) - commentLength);
    }
    uint8_t tail[8];
    xcf::store32LittleEndian(tail, kOptionEnd);
    xcf::store32LittleEndian(tail + 4, total);
    put(tail, sizeof tail);
    return !hasFailed();
}
