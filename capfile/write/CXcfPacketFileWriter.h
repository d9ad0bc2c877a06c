// Base of the writers of the packet-analysis ecosystem's files (pcap, pcapng): opening the
// output, completion at close, and the write path into the output's block. Creating, failing
// and giving up a file go as in every writer (CXcfFileWriter). Unlike the tester formats these
// files have no 4 GiB limit: every size and position is 64 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capfile/write/CXcfFileWriter.h"

class CXcfPacketFileWriter : public CXcfFileWriter {
  public:
    // Link types of the files (the numbers the ecosystem registers for them).
    static constexpr uint32_t kLinkTypeEthernet = 1;
    static constexpr uint32_t kLinkTypePppHdlc = 50;
    static constexpr uint32_t kLinkTypeCiscoHdlc = 104;
    // The most bytes of one packet that the ecosystem's readers accept (tshark calls a file
    // with a larger packet damaged, and libpcap stops at it): longer packets are cut to it,
    // their original length kept.
    static constexpr uint32_t kMaxCapturedLength = 262144;

    CXcfPacketFileWriter();
    ~CXcfPacketFileWriter() override;

    // Creates the file and writes its header. False, with the system's cause kept, when it
    // cannot be created or written (then nothing of it is left).
    bool open(const std::string& name);
    // Writes the file front to back into an open descriptor of the process (standard
    // output, a pipe), which it neither closes nor removes; name is what messages call it.
    // These files are never patched, so a pipe holds them whole.
    bool openDescriptor(int descriptor, const std::string& name);
    // Completes the file (the fields known only at the end) and closes it. False when any
    // write failed.
    bool close();
    // Closes without completing and removes the file: for a run that failed or was stopped.
    void discard();

    // Bytes written so far.
    uint64_t bytesWritten() const { return outputStream.end(); }
    // Packets written so far whose bytes were cut to kMaxCapturedLength.
    uint64_t cutPackets() const { return cut; }

  protected:
    virtual void writeFileHeader() = 0;
    // Called by close before the file is closed.
    virtual void finishFile() {}

    // Room for count bytes at the end of the file, or nullptr once the file has failed.
    uint8_t* reserve(size_t count) {
        uint8_t* at = hasFailed() ? nullptr : outputStream.reserve(count);
        if (at == nullptr) {
            checkFailure();
        }
        return at;
    }
    void put(const void* bytes, size_t count);
    bool isOpen() const { return outputStream.isOpen(); }
    // The bytes of a packet of capturedLength that go into the file, counting a cut.
    uint32_t keptLength(uint32_t capturedLength) {
        if (capturedLength <= kMaxCapturedLength) {
            return capturedLength;
        }
        ++cut;
        return kMaxCapturedLength;
    }

  private:
    void checkFailure();
    // What open and openDescriptor do before and after making the output.
    void renew(const std::string& name);
    bool start();

    uint64_t cut = 0;
};
