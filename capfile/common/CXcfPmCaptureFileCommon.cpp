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
    clearSourceNameTable();
    // Cleared where it is: every open resets its reader, and recognising a file tries a
    // reader of each format.
    if (recordTypeTable) {
        std::fill_n(recordTypeTable.get(), kRecordTypeEntries, uint16_t{0});
        return;
    }
    recordTypeTable = std::make_unique<uint16_t[]>(kRecordTypeEntries);
}

void CXcfPmCaptureFileCommon::clearSourceNameTable() {
    slotPlace.fill(0);
    usedSlots.clear();
}

const uint8_t* CXcfPmCaptureFileCommon::sourceNameSlot(size_t index) const {
    static const std::array<uint8_t, kSourceNameSlotSize> kEmptySlot{};
    const uint16_t place = index < kSourceNameSlots ? slotPlace[index] : 0;
    return place == 0 ? kEmptySlot.data() : usedSlots[place - 1].data();
}

uint8_t* CXcfPmCaptureFileCommon::writableSourceNameSlot(size_t index) {
    uint16_t& place = slotPlace[index % kSourceNameSlots];
    if (place == 0) {
        usedSlots.emplace_back();
        place = static_cast<uint16_t>(usedSlots.size());
    }
    return usedSlots[place - 1].data();
}

void CXcfPmCaptureFileCommon::storeSourceNameTable(uint8_t* out) const {
    for (size_t slot = 0; slot < kSourceNameSlots; ++slot) {
        std::memcpy(out + slot * kSourceNameSlotSize, sourceNameSlot(slot), kSourceNameSlotSize);
    }
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
    name.attachBounded(sourceNameSlot(index), kSourceNameSlotSize);
    return name.toString();
}

void CXcfPmCaptureFileCommon::setSourceNameEntry(uint8_t index, uint32_t length,
                                                 const char* characters) {
    if (length > kMaxSourceNameLength) {
        length = kMaxSourceNameLength;
    }
    uint8_t* slot = writableSourceNameSlot(index);
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
