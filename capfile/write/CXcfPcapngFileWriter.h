// Writer of pcapng files in the little-endian byte order: one section, interfaces described
// as they come into use (each with its link type, its name and nanosecond timestamps), and
// one enhanced packet block per packet, marked inbound, with an optional comment.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/write/CXcfPacketFileWriter.h"

class CXcfPcapngFileWriter : public CXcfPacketFileWriter {
  public:
    // application: the section's shb_userappl text, e.g. "trc2pcap 0.4".
    explicit CXcfPcapngFileWriter(std::string application);
    ~CXcfPcapngFileWriter() override;

    // Describes one more interface and returns its id, counted from 0 in the order added.
    uint32_t addInterface(uint32_t linkType, const std::string& name);

    // Appends one packet of the interface: its time in nanoseconds since the epoch, the length
    // it had, the bytes kept of it (cut to kMaxCapturedLength), and a comment (none when empty).
    // False once the file has failed, or for an interface not added.
    bool writePacket(uint32_t interfaceId, uint64_t timeNanoseconds, uint32_t originalLength,
                     uint32_t capturedLength, const uint8_t* bytes, const std::string& comment);

  protected:
    void writeFileHeader() override;

  private:
    // Appends a block of the type around body, which holds the fixed fields and options.
    void putBlock(uint32_t type, const std::string& body);

    std::string application;
    uint32_t interfaces = 0;
};
