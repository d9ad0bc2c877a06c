#include "capfile/common/CXcfPmCaptureFileCommon.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "record/ByteOrder.h"
#include "record/CXcfDimString.h"

CXcfPmCaptureFileCommon::CXcfPmCaptureFileCommon() {
    CXcfPmCaptureFileCommon::reset();
}

CXcfPmCaptureFileCommon::~CXcfPmCaptureFileCommon() = default;

void CXcfPmCaptureFileCommon::reset() {
    headerString.clear();
    // Cleared where they are: every open resets its reader, and recognising a file tries a
    // reader of each format, so fresh 32 KiB tables each time would cost more than the tries.
    if (recordTypeTable && sourceNameTable) {
        std::fill_n(recordTypeTable.get(), kRecordTypeEntries, uint16_t{0});
        std::fill_n(sourceNameTable.get(), kSourceNameTableSize, uint8_t{0});
        return;
    }
    recordTypeTable = std::make_unique<uint16_t[]>(kRecordTypeEntries);
    sourceNameTable = std::make_unique<uint8_t[]>(kSourceNameTableSize);
}

uint16_t CXcfPmCaptureFileCommon::recordTypeEntry(uint8_t index) const {
    return recordTypeTable[index];
}

void CXcfPmCaptureFileCommon::setRecordTypeEntry(uint8_t index, uint16_t value) {
    recordTypeTable[index] = value;
}

std::string CXcfPmCaptureFileCommon::sourceNameEntry(uint8_t index) const {
    // A damaged file may store a length beyond the slot; the bounded view stops at its end.
    CXcfDimString name;
    name.attachBounded(sourceNameTable.get() + size_t{index} * kSourceNameSlotSize,
                       kSourceNameSlotSize);
    return name.toString();
}

void CXcfPmCaptureFileCommon::setSourceNameEntry(uint8_t index, uint32_t length,
                                                 const char* characters) {
    if (length > kMaxSourceNameLength) {
        length = kMaxSourceNameLength;
    }
    uint8_t* slot = sourceNameTable.get() + size_t{index} * kSourceNameSlotSize;
    std::memset(slot, 0, kSourceNameSlotSize);
    xcf::store16(slot, length);
    if (length > 0 && characters != nullptr) {
        std::memcpy(slot + 2, characters, length);
    }
}

void CXcfPmCaptureFileCommon::setSourceNameEntry(uint8_t index, std::string text) {
    // The text counts up to its first zero character, as a C string would.
    setSourceNameEntry(index, static_cast<uint32_t>(std::strlen(text.c_str())), text.c_str());
}

std::string CXcfPmCaptureFileCommon::report(std::string extra) const {
    std::ostringstream out;
    out << "Header string      : '" << headerString << "'\n";
    if (!extra.empty()) {
        out << extra;
    }
    out << "Record Type Table  : \n";
    for (size_t i = 0; i < kRecordTypeEntries; ++i) {
        if (i % 16 == 0) {
            out << "\n    ";
        }
        out << recordTypeTable[i] << " ";
    }
    out << "\n";
    out << "Source Name Table  : \n";
    for (size_t i = 0; i < kSourceNameSlots; ++i) {
        std::string name = sourceNameEntry(static_cast<uint8_t>(i));
        out << "\n  " << i << ": " << (name.empty() ? "(none)" : name);
    }
    out << "\n";
    return out.str();
}
