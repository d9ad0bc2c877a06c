// pcap and pcapng files read back through libpcap, the reference reader of the packet-analysis
// ecosystem, for checking what the exporters write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct PcapPacket {
    uint64_t seconds = 0;
    uint64_t fraction = 0;  // nanoseconds, or microseconds for a microsecond file read so
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    std::vector<uint8_t> bytes;
};

struct PcapFile {
    bool opened = false;
    std::string error;  // libpcap's words when it refused the file or a packet
    int linkType = -1;
    std::vector<PcapPacket> packets;
};

// Reads every packet with timestamps in nanoseconds, or in microseconds when asked.
PcapFile readPcap(const std::string& path, bool microseconds = false);

}  // namespace testsupport
