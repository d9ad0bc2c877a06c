#include "support/PcapReadBack.h"

#include <pcap/pcap.h>

namespace testsupport {

PcapFile readPcap(const std::string& path, bool microseconds) {
    PcapFile file;
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_open_offline_with_tstamp_precision(
        path.c_str(), microseconds ? PCAP_TSTAMP_PRECISION_MICRO : PCAP_TSTAMP_PRECISION_NANO,
        error);
    if (handle == nullptr) {
        file.error = error;
        return file;
    }
    file.opened = true;
    file.linkType = pcap_datalink(handle);
    struct pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int status = 0;
    while ((status = pcap_next_ex(handle, &header, &data)) == 1) {
        PcapPacket packet;
        packet.seconds = static_cast<uint64_t>(header->ts.tv_sec);
        packet.fraction = static_cast<uint64_t>(header->ts.tv_usec);
        packet.capturedLength = header->caplen;
        packet.originalLength = header->len;
        packet.bytes.assign(data, data + header->caplen);
        file.packets.push_back(std::move(packet));
    }
    if (status == PCAP_ERROR) {
        file.error = pcap_geterr(handle);
    }
    pcap_close(handle);
    return file;
}

}  // namespace testsupport
