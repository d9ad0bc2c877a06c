#include "record/CXcfCaptureRecord.h"

#include <utility>

namespace {
uint32_t bigEndian32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
}  // namespace

void CXcfCaptureRecord::setFrameGood(bool good) {
    frameGood = good;
}

bool CXcfCaptureRecord::isFrameGood() const {
    return frameGood;
}

uint32_t CXcfCaptureRecord::totalLength() const {
    return extensionLength + frameLength;
}

const uint8_t* CXcfCaptureRecord::getExtension() const {
    return extension.get();
}

uint32_t CXcfCaptureRecord::getExtensionLength() const {
    return extensionLength;
}

const uint8_t* CXcfCaptureRecord::getFrame() const {
    return frame.get();
}

uint32_t CXcfCaptureRecord::getFrameStoredLength() const {
    return frameStoredLength;
}

uint32_t CXcfCaptureRecord::getFrameLength() const {
    return frameLength;
}

void CXcfCaptureRecord::setPortByte(uint8_t value) {
    portByte = value;
}

uint8_t CXcfCaptureRecord::getPortByte() const {
    return portByte;
}

uint8_t CXcfCaptureRecord::getPortLowBits() const {
    return portByte;
}

void CXcfCaptureRecord::setTimestamp(uint32_t seconds, uint32_t nanoseconds) {
    timestampSeconds = seconds;
    timestampNanoseconds = nanoseconds;
}

CXcfTimestamp CXcfCaptureRecord::getTimestamp() const {
    // The file stores the time as unsigned words; the time value reads them as signed.
    return CXcfTimestamp(static_cast<int32_t>(timestampSeconds),
                         static_cast<int32_t>(timestampNanoseconds));
}

uint32_t CXcfCaptureRecord::getTimestampNanoseconds() const {
    return timestampNanoseconds;
}

uint32_t CXcfCaptureRecord::getTimestampSeconds() const {
    return timestampSeconds;
}

void CXcfCaptureRecord::setRecordType(int32_t type) {
    recordType = type;
}

int32_t CXcfCaptureRecord::getRecordType() const {
    return recordType;
}

void CXcfCaptureRecord::setStatusByte(uint8_t value) {
    statusByte = value;
}

uint8_t CXcfCaptureRecord::getStatusByte() const {
    return statusByte;
}

void CXcfCaptureRecord::setLayer2Type(uint8_t value) {
    layer2Type = value;
}

uint8_t CXcfCaptureRecord::getLayer2Type() const {
    return layer2Type;
}

void CXcfCaptureRecord::setExtension(uint32_t length, std::unique_ptr<uint8_t[]> bytes) {
    extension = std::move(bytes);
    extensionLength = length;
}

void CXcfCaptureRecord::setFrame(uint32_t length, std::unique_ptr<uint8_t[]> bytes) {
    setFrameWithLengths(length, length, std::move(bytes));
}

void CXcfCaptureRecord::setFrameWithLengths(uint32_t storedLength, uint32_t length,
                                            std::unique_ptr<uint8_t[]> bytes) {
    frame = std::move(bytes);
    frameStoredLength = storedLength;
    frameLength = length;
}

void CXcfCaptureRecord::clear() {
    portByte = 0;
    frameGood = true;
    timestampSeconds = 0;
    timestampNanoseconds = 0;
    statusByte = 0;
    layer2Type = 0;
    extensionLength = 0;
    extension.reset();
    frameStoredLength = 0;
    frameLength = 0;
    frame.reset();
}

uint32_t CXcfCaptureRecord::getExtensionWord0() const {
    if (!extension || extensionLength < 4) {
        return 0;
    }
    return bigEndian32(extension.get());
}

uint32_t CXcfCaptureRecord::getExtensionWord1() const {
    if (!extension || extensionLength < 8) {
        return 0;
    }
    return bigEndian32(extension.get() + 4);
}

uint8_t CXcfCaptureRecord::getPortHighBits() const {
    return static_cast<uint8_t>(getPortByte() >> 5);
}
