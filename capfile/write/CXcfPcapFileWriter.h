// Writer of pcap files, in the little-endian byte order, with nanosecond timestamps (magic
// A1B23C4D) or microsecond ones (A1B2C3D4). A pcap file holds one link type, fixed when the
// writer is made; its snapshot length is 262144, the most bytes of a packet it keeps.
#pragma once

#include <cstdint>

#include "capfile/write/CXcfPacketFileWriter.h"

class CXcfPcapFileWriter : public CXcfPacketFileWriter {
  public:
    static constexpr uint32_t kMagicNanoseconds = 0xA1B23C4Du;
    static constexpr uint32_t kMagicMicroseconds = 0xA1B2C3D4u;
    static constexpr uint32_t kSnapLength = kMaxCapturedLength;

    CXcfPcapFileWriter(uint32_t linkType, bool microseconds);
    ~CXcfPcapFileWriter() override;

    uint32_t linkType() const { return link; }

    // Whether a time in nanoseconds since the epoch fits the file's 32-bit seconds (up to the
    // year 2106); a tester's nanoseconds field can carry a record past them.
    static bool holdsTime(uint64_t timeNanoseconds);

    // Appends one packet: its time in nanoseconds since the epoch (cut to microseconds in a
    // microsecond file), the length it had and the bytes kept of it (cut to kSnapLength).
    // False once the file has failed, and for a time the file cannot hold (nothing written).
    bool writePacket(uint64_t timeNanoseconds, uint32_t originalLength, uint32_t capturedLength,
                     const uint8_t* bytes);

  protected:
    void writeFileHeader() override;

  private:
    uint32_t link;
    bool micro;
};
