#include "capfile/read/CXcfPmBinaryCaptureFileParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include "record/CXcfDimString.h"

CXcfPmBinaryCaptureFileParser::CXcfPmBinaryCaptureFileParser() = default;

CXcfPmBinaryCaptureFileParser::~CXcfPmBinaryCaptureFileParser() = default;

bool CXcfPmBinaryCaptureFileParser::openFile() {
    inputStream.clear();
    if (!openInputStream()) {
        forgetInputPosition();
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    inputPosition = 0;
    if (!openIndexStream()) {
        inputStream.close();
        forgetInputPosition();
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    measureFileSize();
    const bool opened = checkPrefix() && readHeader() && checkLayout() && loadIndexCache(1);
    if (!opened) {
        inputStream.close();
        closeIndexStream();
        forgetInputPosition();
    }
    return opened;
}

bool CXcfPmBinaryCaptureFileParser::readHeader() {
    lastErrorCode = kErrorNone;
    if (!inputStream.good()) {
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    bool good = readUint32(numberOfRecords) && readUint32(recordLength) &&
                readUint16(masterFormatFlags) && readUint32(offsetToData) &&
                readUint32(offsetToIndex) && readRecordTypeTable() && readSourceNameTable() &&
                readString(headerString) && readString(description);
    if (!good) {
        lastErrorCode = kErrorCorruptHeader;
    }
    return good;
}

bool CXcfPmBinaryCaptureFileParser::getPortDescription(uint32_t recordNumber, std::string& portType,
                                                       std::string& portId,
                                                       std::string& direction) {
    portType = "POS";
    portId = "101/1";
    direction = "Rx";
    std::string name;
    if (!getRecordSourceName(recordNumber, name)) {
        return false;
    }
    const std::vector<std::string> tokens = splitFields(name, ",");
    if (tokens.empty() || tokens[0] == "Unknown") {
        return true;
    }
    portType = tokens[0];
    if (tokens.size() > 1) {
        portId = tokens[1];
    }
    if (tokens.size() > 2) {
        direction = tokens[2];
    }
    return true;
}

uint32_t CXcfPmBinaryCaptureFileParser::getSourceCount() {
    return sourceCount;
}

std::string CXcfPmBinaryCaptureFileParser::getSourceName(uint32_t index) {
    if (index >= kSourceNameSlots) {
        return std::string();
    }
    // A damaged slot may announce more characters than it has room for.
    CXcfDimString name;
    name.attachBounded(sourceNameTable.get() + size_t{index} * kSourceNameSlotSize,
                       kSourceNameSlotSize);
    return name.toString();
}

bool CXcfPmBinaryCaptureFileParser::loadIndexCache(uint32_t firstRecord) {
    clearIndexCache();
    if (numberOfRecords == 0) {
        return true;
    }
    if (firstRecord == 0 || firstRecord > numberOfRecords) {
        return false;
    }
    const uint32_t count = std::min(numberOfRecords - firstRecord + 1, kIndexWindowSize);
    indexWindowFirst = firstRecord;
    indexWindowLast = firstRecord + count - 1;
    if (offsetToIndex == 0) {
        return true;  // no index section: every entry stays 0
    }

    // One seek and one block read for the whole window. Entries the file does not hold stay
    // 0 and leave inputStream failed, as reading them one by one through it would; a stream
    // that has failed already yields no entries.
    if (!inputStream.good()) {
        return true;
    }
    std::array<uint8_t, kIndexWindowSize * kIndexEntrySize> block;
    const size_t wanted = size_t{count} * kIndexEntrySize;
    const uint64_t start =
        uint64_t{offsetToIndex} + uint64_t{kIndexEntrySize} * (uint64_t{firstRecord} - 1);
    size_t got = 0;
    indexStream.clear();
    indexStream.seekg(static_cast<std::streamoff>(start), std::ios::beg);
    if (!indexStream.fail()) {
        indexStream.read(reinterpret_cast<char*>(block.data()),
                         static_cast<std::streamsize>(wanted));
        got = static_cast<size_t>(indexStream.gcount());
    }
    if (got < wanted) {
        inputStream.setstate(std::ios::failbit);
        forgetInputPosition();
    }
    for (size_t i = 0; i < got / kIndexEntrySize; ++i) {
        indexWindow[i] = decode32(block.data() + i * kIndexEntrySize);
    }
    return true;
}

uint32_t CXcfPmBinaryCaptureFileParser::readIndexEntry(uint32_t recordNumber) {
    if (recordNumber == 0 || recordNumber > numberOfRecords || offsetToIndex == 0) {
        return 0;
    }
    const int64_t resume = inputPosition;
    uint32_t entry = 0;
    const uint64_t at =
        uint64_t{offsetToIndex} + uint64_t{kIndexEntrySize} * (uint64_t{recordNumber} - 1);
    if (!seekInput(at) || !readUint32(entry)) {
        entry = 0;
    }
    if (resume >= 0) {
        seekInput(static_cast<uint64_t>(resume));
    }
    return entry;
}

bool CXcfPmBinaryCaptureFileParser::readString(std::string& out) {
    uint16_t length = 0;
    if (!readUint16(length)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    std::string text(length, '\0');
    if (length > 0 && !readInput(&text[0], length)) {
        return false;
    }
    // A zero byte inside the counted characters ends the text.
    text.resize(std::min<size_t>(text.find('\0'), length));
    out = std::move(text);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readRecordTypeTable() {
    for (size_t i = 0; i < kRecordTypeEntries; ++i) {
        if (!readUint16(recordTypeTable[i])) {
            lastErrorCode = kErrorCorruptHeader;
            return false;
        }
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readSourceNameTable() {
    if (!readInput(sourceNameTable.get(), kSourceNameTableSize)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    sourceCount = 0;
    for (size_t slot = 0; slot < kSourceNameSlots; ++slot) {
        const uint8_t* at = sourceNameTable.get() + slot * kSourceNameSlotSize;
        if (at[0] != 0 || at[1] != 0) {
            ++sourceCount;
        }
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readBytes(std::unique_ptr<uint8_t[]>& block, uint32_t count,
                                              bool allocate) {
    if (allocate) {
        // Every byte is overwritten by the read or the block is dropped, so it is not zeroed.
        block.reset(new uint8_t[count]);
    }
    if (!inputStream.good()) {
        if (allocate) {
            block.reset();
        }
        return false;
    }
    if (count > 0 && !readInput(block.get(), count)) {
        if (allocate) {
            block.reset();
        }
        return false;
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readRecordParts(uint32_t offset, uint8_t* fields,
                                                    size_t fixedSize, uint32_t extensionSize,
                                                    uint32_t frameLength, RecordParts& parts) {
    if (!seekInput(offset)) {
        return false;
    }
    const size_t total = fixedSize + size_t{extensionSize} + size_t{frameLength};
    if (const uint8_t* bytes = peekInput(total)) {
        std::memcpy(fields, bytes, fixedSize);
        parts.extension = bytes + fixedSize;
        parts.frame = parts.extension + extensionSize;
        skipInput(total);
        return true;
    }
    if (!readInput(fields, fixedSize) || !readBytes(parts.extensionBlock, extensionSize, true) ||
        !readBytes(parts.frameBlock, frameLength, true)) {
        return false;
    }
    parts.extension = parts.extensionBlock.get();
    parts.frame = parts.frameBlock.get();
    return true;
}

void CXcfPmBinaryCaptureFileParser::storeRecordParts(CXcfCaptureRecord& record, RecordParts& parts,
                                                     uint32_t extensionSize, uint32_t frameLength) {
    if (parts.extensionBlock) {
        record.setExtension(extensionSize, std::move(parts.extensionBlock));
    } else {
        record.copyExtension(extensionSize, parts.extension);
    }
    if (parts.frameBlock) {
        record.setFrame(frameLength, std::move(parts.frameBlock));
    } else {
        record.copyFrame(frameLength, parts.frame);
    }
}

bool CXcfPmBinaryCaptureFileParser::readTimeOfDay(CXcfTimeOfDay& out) {
    if (lastErrorCode != kErrorNone) {
        return false;
    }
    uint16_t hours = 0;
    uint16_t minutes = 0;
    uint16_t milliseconds = 0;
    if (!readUint16(hours) || !readUint16(minutes) || !readUint16(milliseconds)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    out.set(hours, minutes, milliseconds);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readTimestamp(CXcfTimestamp& out) {
    if (lastErrorCode != kErrorNone) {
        return false;
    }
    uint32_t seconds = 0;
    uint32_t nanoseconds = 0;
    if (!readUint32(seconds) || !readUint32(nanoseconds)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    out.set(static_cast<int32_t>(seconds), static_cast<int32_t>(nanoseconds));
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readUint8(uint8_t& out) {
    return readInput(&out, 1);
}

bool CXcfPmBinaryCaptureFileParser::readUint16(uint16_t& out) {
    uint8_t bytes[2];
    if (!readInput(bytes, sizeof bytes)) {
        return false;
    }
    out = static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readUint32(uint32_t& out) {
    uint8_t bytes[4];
    if (!readInput(bytes, sizeof bytes)) {
        return false;
    }
    out = decode32(bytes);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readCaptureTimes(uint32_t& triggerPacketNumber) {
    readTimeOfDay(captureStartTimeOfDay);
    readTimeOfDay(captureStopTimeOfDay);
    readTimestamp(captureStopTimestamp);
    if (lastErrorCode != kErrorNone) {
        return false;
    }
    if (!readUint32(triggerPacketNumber)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    return true;
}

std::string CXcfPmBinaryCaptureFileParser::captureTimesText(uint32_t triggerPacketNumber) const {
    std::ostringstream lines;
    lines << "Capture Start Time of Day  : " << captureStartTimeOfDay.toString() << "\n"
          << "Capture Stop  Time of Day  : " << captureStopTimeOfDay.toString() << "\n"
          << "Capture Stop  Timestamp    : " << captureStopTimestamp.toString() << "\n"
          << "Trigger Packet No.         : " << triggerPacketNumber << "\n";
    return lines.str();
}

std::vector<std::string> CXcfPmBinaryCaptureFileParser::splitFields(const std::string& text,
                                                                    const char* separators) {
    std::vector<std::string> fields;
    size_t start = text.find_first_not_of(separators);
    while (start != std::string::npos) {
        const size_t end = text.find_first_of(separators, start);
        fields.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        start = text.find_first_not_of(separators, end);
    }
    return fields;
}
