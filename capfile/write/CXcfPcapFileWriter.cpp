#include "capfile/write/CXcfPcapFileWriter.h"

#include <cstring>

#include "record/ByteOrder.h"

namespace {

constexpr size_t kFileHeaderSize = 24;
constexpr size_t kSnapLengthOffset = 16;
constexpr size_t kPacketHeaderSize = 16;
constexpr uint64_t kNanosecondsPerSecond = 1000000000;
constexpr uint32_t kInPlaceLimit = 16 * 1024;

}  // namespace

CXcfPcapFileWriter::CXcfPcapFileWriter(uint32_t linkType, bool microseconds)
    : link(linkType), micro(microseconds) {
    formatCode = "pcap";
}

CXcfPcapFileWriter::~CXcfPcapFileWriter() = default;

void CXcfPcapFileWriter::writeFileHeader() {
    uint8_t* header = reserve(kFileHeaderSize);
    if (header == nullptr) {
        return;
    }
    xcf::store32LittleEndian(header, micro ? kMagicMicroseconds : kMagicNanoseconds);
    xcf::store16LittleEndian(header + 4, 2);  // version 2.4
    xcf::store16LittleEndian(header + 6, 4);
    xcf::store32LittleEndian(header + 8, 0);   // thiszone: times are UTC
    xcf::store32LittleEndian(header + 12, 0);  // sigfigs
    xcf::store32LittleEndian(header + kSnapLengthOffset, kSnapLength);
    xcf::store32LittleEndian(header + 20, link);
}

bool CXcfPcapFileWriter::holdsTime(uint64_t timeNanoseconds) {
    return timeNanoseconds / kNanosecondsPerSecond <= UINT32_MAX;
}

bool CXcfPcapFileWriter::writePacket(uint64_t timeNanoseconds, uint32_t originalLength,
                                     uint32_t capturedLength, const uint8_t* bytes) {
    if ((bytes == nullptr && capturedLength > 0) || !holdsTime(timeNanoseconds)) {
        return false;
    }
    capturedLength = keptLength(capturedLength);
    // A small packet goes into the output's block in one piece.
    const bool inPlace = capturedLength <= kInPlaceLimit;
    uint8_t* header = reserve(kPacketHeaderSize + (inPlace ? capturedLength : 0));
    if (header == nullptr) {
        return false;
    }
    const uint64_t fraction = timeNanoseconds % kNanosecondsPerSecond;
    xcf::store32LittleEndian(header,
                             static_cast<uint32_t>(timeNanoseconds / kNanosecondsPerSecond));
    xcf::store32LittleEndian(header + 4, static_cast<uint32_t>(micro ? fraction / 1000 : fraction));
    xcf::store32LittleEndian(header + 8, capturedLength);
    xcf::store32LittleEndian(header + 12, originalLength);
    if (!inPlace) {
        put(bytes, capturedLength);
    } else if (capturedLength > 0) {
        std::memcpy(header + kPacketHeaderSize, bytes, capturedLength);
    }
    return !hasFailed();
}
