#include "record/CXcfL2PM410MergedRecord.h"

namespace {
constexpr int32_t kRecordType = 4;
constexpr uint8_t kPortNumberMask = 0x1F;
}  // namespace

CXcfL2PM410MergedRecord::CXcfL2PM410MergedRecord() {
    recordType = kRecordType;
    portByte = 0;
    frameGood = true;
    clear();
}

CXcfL2PM410MergedRecord::~CXcfL2PM410MergedRecord() {
    clear();
}

uint8_t CXcfL2PM410MergedRecord::getPortLowBits() const {
    return static_cast<uint8_t>(portByte & kPortNumberMask);
}
