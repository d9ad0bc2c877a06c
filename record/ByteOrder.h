// The one codec of the file formats' integers: big-endian in every tester-family file (and
// in tcpdump files written on big-endian machines), little-endian in the other tcpdump files.
// Each value is one memcpy and, where the host's order differs, one byte swap; compilers
// turn both into a single load or store, which matters on the record path.
#pragma once

#include <cstdint>
#include <cstring>

namespace xcf {

namespace byteorder {

inline bool hostIsLittleEndian() {
    const uint16_t one = 1;
    uint8_t first = 0;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

inline uint16_t swap16(uint16_t value) {
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}

inline uint32_t swap32(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

}  // namespace byteorder

inline uint16_t load16(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return byteorder::hostIsLittleEndian() ? byteorder::swap16(value) : value;
}

inline uint32_t load32(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return byteorder::hostIsLittleEndian() ? byteorder::swap32(value) : value;
}

inline void store16(uint8_t* bytes, uint32_t value) {
    uint16_t narrow = static_cast<uint16_t>(value);
    narrow = byteorder::hostIsLittleEndian() ? byteorder::swap16(narrow) : narrow;
    std::memcpy(bytes, &narrow, sizeof narrow);
}

inline void store32(uint8_t* bytes, uint32_t value) {
    value = byteorder::hostIsLittleEndian() ? byteorder::swap32(value) : value;
    std::memcpy(bytes, &value, sizeof value);
}

// Little-endian values, for tcpdump files written on little-endian machines.
inline uint16_t load16LittleEndian(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return byteorder::hostIsLittleEndian() ? value : byteorder::swap16(value);
}

inline uint32_t load32LittleEndian(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return byteorder::hostIsLittleEndian() ? value : byteorder::swap32(value);
}

// Little-endian stores, for the pcap and pcapng files the exporters write.
inline void store16LittleEndian(uint8_t* bytes, uint32_t value) {
    uint16_t narrow = static_cast<uint16_t>(value);
    narrow = byteorder::hostIsLittleEndian() ? narrow : byteorder::swap16(narrow);
    std::memcpy(bytes, &narrow, sizeof narrow);
}

inline void store32LittleEndian(uint8_t* bytes, uint32_t value) {
    value = byteorder::hostIsLittleEndian() ? value : byteorder::swap32(value);
    std::memcpy(bytes, &value, sizeof value);
}

}  // namespace xcf
