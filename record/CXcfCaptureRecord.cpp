#include "record/CXcfCaptureRecord.h"
#include "record/ByteOrder.h"

#include <cstring>
#include <new>
#include <utility>

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
    extensionCapacity = length;
}

void CXcfCaptureRecord::setFrame(uint32_t length, std::unique_ptr<uint8_t[]> bytes) {
    setFrameWithLengths(length, length, std::move(bytes));
}

void CXcfCaptureRecord::setFrameWithLengths(uint32_t storedLength, uint32_t length,
                                            std::unique_ptr<uint8_t[]> bytes) {
    frame = std::move(bytes);
    frameStoredLength = storedLength;
    frameLength = length;
    frameCapacity = storedLength;
}

void CXcfCaptureRecord::clear() {
    portByte = 0;
    frameGood = true;
    timestampSeconds = 0;
    timestampNanoseconds = 0;
    statusByte = 0;
    layer2Type = 0;
    extensionLength = 0;
    keepSpare(spareExtension, extension, extensionCapacity);
    extensionCapacity = 0;
    frameStoredLength = 0;
    frameLength = 0;
    keepSpare(spareFrame, frame, frameCapacity);
    frameCapacity = 0;
}

void CXcfCaptureRecord::keepSpare(SpareBlock& spare, std::unique_ptr<uint8_t[]>& block,
                                  uint32_t capacity) {
    // The larger block is worth keeping; the other one is released. So is a block of a
    // huge frame: copies are made of frames that lie in a read-ahead block, and a frame of
    // gigabytes must not stay in memory after its record is gone.
    if (block && capacity >= spare.capacity && capacity <= kLargestSpare) {
        spare.bytes = std::move(block);
        spare.capacity = capacity;
    }
    block.reset();
}

std::unique_ptr<uint8_t[]> CXcfCaptureRecord::takeSpare(SpareBlock& spare, uint32_t length,
                                                        uint32_t& capacity) {
    if (spare.bytes && spare.capacity >= length) {
        capacity = spare.capacity;
        spare.capacity = 0;
        return std::move(spare.bytes);
    }
    // At least one byte, so that an empty extension is still present.
    capacity = length > 0 ? length : 1;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[capacity]);
    if (!block) {
        capacity = 0;
    }
    return block;
}

bool CXcfCaptureRecord::copyExtension(uint32_t length, const uint8_t* bytes) {
    uint32_t capacity = 0;
    std::unique_ptr<uint8_t[]> block = takeSpare(spareExtension, length, capacity);
    if (!block) {
        return false;
    }
    if (length > 0) {
        std::memcpy(block.get(), bytes, length);
    }
    setExtension(length, std::move(block));
    extensionCapacity = capacity;
    return true;
}

bool CXcfCaptureRecord::copyFrame(uint32_t length, const uint8_t* bytes) {
    uint32_t capacity = 0;
    std::unique_ptr<uint8_t[]> block = takeSpare(spareFrame, length, capacity);
    if (!block) {
        return false;
    }
    if (length > 0) {
        std::memcpy(block.get(), bytes, length);
    }
    setFrame(length, std::move(block));
    frameCapacity = capacity;
    return true;
}

uint32_t CXcfCaptureRecord::getExtensionWord0() const {
    if (!extension || extensionLength < 4) {
        return 0;
    }
    return xcf::load32(extension.get());
}

uint32_t CXcfCaptureRecord::getExtensionWord1() const {
    if (!extension || extensionLength < 8) {
        return 0;
    }
    return xcf::load32(extension.get() + 4);
}

uint8_t CXcfCaptureRecord::getPortHighBits() const {
    return static_cast<uint8_t>(getPortByte() >> 5);
}
