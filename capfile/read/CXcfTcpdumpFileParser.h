// Recogniser for tcpdump (libpcap) capture files, with microsecond or nanosecond timestamps
// (the two magic numbers, in either byte order). It reads and reports the 24-byte global
// header only; the packet records that follow are not mapped onto capture records, so every
// record read fails.
#pragma once

#include <cstdint>

#include "capfile/read/CXcfCaptureFileParser.h"

class CXcfTcpdumpFileParser : public CXcfCaptureFileParser {
  public:
    // Size of the global header, and so the offset of the first packet record.
    static constexpr uint32_t kGlobalHeaderSize = 24;
    static constexpr uint32_t kMagicBigEndian = 0xa1b2c3d4;
    static constexpr uint32_t kMagicLittleEndian = 0xd4c3b2a1;
    static constexpr uint32_t kMagicNanosecondsBigEndian = 0xa1b23c4d;
    static constexpr uint32_t kMagicNanosecondsLittleEndian = 0x4d3cb2a1;

    CXcfTcpdumpFileParser();
    ~CXcfTcpdumpFileParser() override;

    bool readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) override;
    bool openFile() override;
    bool readHeader() override;
    bool lookupRecordOffset(uint32_t recordNumber, uint32_t& offset) override;

    // Checks the magic number, then reads the remaining global header fields.
    virtual bool readGlobalHeader();
    // Reads the magic number at offset 0; it fixes the byte order of every later field.
    virtual bool checkMagic();

    // The global header as read from the file.
    bool swapBytes = true;     // the file's fields are big-endian
    bool nanoseconds = false;  // packet times count nanoseconds, not microseconds
    uint16_t pcapVersionMajor = 0;
    uint16_t pcapVersionMinor = 0;
    int32_t thisZone = 0;
    uint32_t sigFigs = 0;
    uint32_t snapLength = 0;
    uint32_t network = 0;

  private:
    void closeInput();
};
