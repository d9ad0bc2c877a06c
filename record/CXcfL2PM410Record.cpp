#include "record/CXcfL2PM410Record.h"

namespace {
constexpr int32_t kRecordType = 3;
}  // namespace

CXcfL2PM410Record::CXcfL2PM410Record() {
    recordType = kRecordType;
    portByte = 0;
    frameGood = true;
    clear();
}

CXcfL2PM410Record::~CXcfL2PM410Record() {
    clear();
}
