#include "capfile/read/CXcfPmBinaryCaptureFileParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <sstream>

#include "record/ByteOrder.h"

CXcfPmBinaryCaptureFileParser::CXcfPmBinaryCaptureFileParser() = default;

CXcfPmBinaryCaptureFileParser::~CXcfPmBinaryCaptureFileParser() = default;

void CXcfPmBinaryCaptureFileParser::reset() {
    CXcfCaptureFileCommon::reset();
}

std::string CXcfPmBinaryCaptureFileParser::report(std::string extra) const {
    return CXcfCaptureFileCommon::report(captureTimesText(triggerPacketNumber) + extra);
}

bool CXcfPmBinaryCaptureFileParser::readRecord(uint32_t recordNumber, CXcfCaptureRecord& record) {
    const RecordShape shape = recordShape();
    uint8_t fields[kMaxFixedFields];
    RecordParts parts;
    uint32_t frameLength = 0;
    if (!readRecordLayout(recordNumber, shape.known && shape.fixedSize <= sizeof fields,
                          shape.fixedSize, shape.extensionSize, fields, parts, frameLength)) {
        return false;
    }
    record.clear();
    decodeRecordFields(fields, record);
    record.setRecordType(recordTypeTable[0]);
    return storeRecordParts(record, parts, shape.extensionSize, frameLength);
}

bool CXcfPmBinaryCaptureFileParser::openFile() {
    if (!openInputStream()) {
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    measureFileSize();
    const bool opened = checkPrefix() && readHeader() && checkLayout() && loadIndexCache(1);
    if (!opened) {
        dropInput();
        return false;
    }
    // Until its records are read, an open reader holds no more than its header and the
    // first index window.
    inputStream.releaseBlock();
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readHeader() {
    return readFixedHeader() && readCaptureTimes(triggerPacketNumber);
}

bool CXcfPmBinaryCaptureFileParser::readFixedHeader() {
    lastErrorCode = kErrorNone;
    if (inputStream.failed() || !inputStream.isOpen()) {
        lastErrorCode = kErrorFileNotFound;
        return false;
    }
    bool good = readUint32(numberOfRecords) && readUint32(recordLength) &&
                readUint16(masterFormatFlags) && readUint32(offsetToData) &&
                readUint32(offsetToIndex) && readRecordTypeTable() && readSourceNameTable() &&
                readString(headerString) && readString(description);
    if (!good) {
        setError(kErrorCorruptHeader, "the header ends at byte " +
                                          std::to_string(inputStream.position()) +
                                          ", before its fields, tables and texts are complete");
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

uint32_t CXcfPmBinaryCaptureFileParser::getSourceCount() const {
    return sourceCount;
}

std::string CXcfPmBinaryCaptureFileParser::getSourceName(uint32_t index) const {
    return index < kSourceNameSlots ? sourceNameEntry(static_cast<uint8_t>(index)) : std::string();
}

bool CXcfPmBinaryCaptureFileParser::loadIndexCache(uint32_t firstRecord) {
    return loadIndexWindow(firstRecord, nullptr, 0);
}

bool CXcfPmBinaryCaptureFileParser::loadIndexWindow(uint32_t firstRecord, const uint8_t* known,
                                                    uint64_t knownCount) {
    clearIndexCache();
    if (numberOfRecords == 0) {
        return true;
    }
    if (firstRecord == 0 || firstRecord > numberOfRecords) {
        return false;
    }
    if (!indexWindow) {
        indexWindow.reset(new (std::nothrow) uint32_t[kIndexWindowSize]());
        if (!indexWindow) {
            return false;
        }
    }
    const uint32_t count = std::min(numberOfRecords - firstRecord + 1, kIndexWindowSize);
    if (offsetToIndex == 0) {
        // No index section: every entry stays 0, which no record can start at.
        indexWindowFirst = firstRecord;
        indexWindowLast = firstRecord + count - 1;
        return true;
    }
    uint32_t got = 0;
    if (known != nullptr && knownCount >= count) {
        for (uint32_t i = 0; i < count; ++i) {
            indexWindow[i] = xcf::load32(known + size_t{i} * kIndexEntrySize);
        }
        got = count;
    } else {
        got = readIndexEntries(firstRecord, count, indexWindow.get());
    }
    // The window holds only the entries the file holds: a record whose entry lies beyond the
    // end of an index section cut short has no offset, while the records before it keep
    // theirs, whatever was read before.
    if (got > 0) {
        indexWindowFirst = firstRecord;
        indexWindowLast = firstRecord + got - 1;
    }
    return true;
}

uint32_t CXcfPmBinaryCaptureFileParser::readIndexEntries(uint32_t firstRecord, uint32_t count,
                                                         uint32_t* entries) {
    // One positioned read for the whole run of entries; the read position and the read-ahead
    // block stay as they are, so record reading goes on where it was.
    std::array<uint8_t, kIndexWindowSize * kIndexEntrySize> block;
    count = std::min(count, kIndexWindowSize);
    const uint64_t start =
        uint64_t{offsetToIndex} + uint64_t{kIndexEntrySize} * (uint64_t{firstRecord} - 1);
    const size_t got =
        inputStream.readAt(start, block.data(), size_t{count} * kIndexEntrySize) / kIndexEntrySize;
    for (size_t i = 0; i < got; ++i) {
        entries[i] = xcf::load32(block.data() + i * kIndexEntrySize);
    }
    return static_cast<uint32_t>(got);
}

uint32_t CXcfPmBinaryCaptureFileParser::readIndexEntry(uint32_t recordNumber) {
    if (recordNumber == 0 || recordNumber > numberOfRecords || offsetToIndex == 0) {
        return 0;
    }
    uint32_t entry = 0;
    return readIndexEntries(recordNumber, 1, &entry) == 1 ? entry : 0;
}

uint32_t CXcfPmBinaryCaptureFileParser::planRun(uint32_t first, uint32_t maxCount,
                                                uint64_t maxBytes, xcf::RecordRun& run) {
    run.clear();
    const int64_t fields = static_cast<int64_t>(writerFieldsSize());
    if (fields == 0 || recordLength != 0 || offsetToIndex == 0 || first == 0 ||
        first > numberOfRecords || maxCount == 0) {
        return 0;
    }
    // The entries of the run, the one after it and a window beyond, read as the checks
    // reach them, in pieces far larger than an index window: a run may hold far more records
    // than a window, and a load per window would cost a read each, but a run cut short by
    // its byte limit must not pay for the entries it never reaches. An index section that
    // ends early yields fewer.
    const uint64_t lastWanted =
        std::min<uint64_t>(uint64_t{first} + maxCount + kIndexWindowSize, numberOfRecords);
    const uint64_t wanted = lastWanted - first + 1;
    // The first piece is what the byte limit lets through at the file's average record size,
    // with room to spare; further pieces are large.
    const uint64_t average = std::max<uint64_t>(
        1, (uint64_t{offsetToIndex} - std::min(offsetToData, offsetToIndex)) / numberOfRecords);
    constexpr uint64_t kPiece = 16 * kIndexWindowSize;
    const uint64_t fitting = std::min(maxBytes / average, uint64_t{UINT32_MAX});
    const uint64_t expected = fitting + fitting / 8;
    uint64_t piece = expected + kIndexWindowSize + 2;
    const uint64_t indexStart = uint64_t{offsetToIndex} + uint64_t{kIndexEntrySize} * (first - 1);
    uint64_t got = 0;
    bool ended = false;
    auto has = [&](uint64_t needed) {
        while (got < needed && !ended) {
            const uint64_t more = std::min(std::max(needed - got, piece), wanted - got);
            piece = kPiece;
            runEntries.resize(static_cast<size_t>(got + more) * kIndexEntrySize);
            const uint64_t bytes = more * kIndexEntrySize;
            const uint64_t read = inputStream.readAt(indexStart + got * kIndexEntrySize,
                                                     runEntries.data() + got * kIndexEntrySize,
                                                     static_cast<size_t>(bytes));
            got += read / kIndexEntrySize;
            ended = read < bytes || got == wanted;
        }
        return got >= needed;
    };
    auto entry = [this](uint64_t i) {
        return int64_t{xcf::load32(runEntries.data() + i * kIndexEntrySize)};
    };
    const int64_t dataEnd = offsetToIndex;
    const uint64_t possible = std::min<uint64_t>(maxCount, numberOfRecords - first + 1);
    // Sized for the records the run is expected to hold and grown as they pass: a run cut
    // short by its byte limit uses few of the slots its count allows, and sizing the vector
    // for all of them would clear every one, every run. Slots left from the previous run
    // are not cleared again.
    std::vector<uint32_t>& offsets = run.offsetSlots;
    if (offsets.size() < std::min(possible, expected) + 1) {
        offsets.resize(static_cast<size_t>(std::min(possible, expected)) + 1);
    }
    uint64_t bytes = 0;
    int64_t offset = has(1) ? entry(0) : 0;
    // Each record passes the checks readRecord makes of its extent: at least one frame byte
    // behind the fields, inside the data section, and the run within its byte limit.
    auto fits = [&](int64_t next) {
        const int64_t span = next - offset;
        if (span <= fields || offset < int64_t{offsetToData} || next > dataEnd ||
            bytes + static_cast<uint64_t>(span) > maxBytes) {
            return false;
        }
        bytes += static_cast<uint64_t>(span);
        return true;
    };
    uint64_t i = 0;
    while (i < possible) {
        // A record's extent needs its own entry and the next one; past the end of an index
        // section cut short, the record is read the usual way, and fails there.
        if (!has(std::min<uint64_t>(first + i + 1, numberOfRecords) - first + 1)) {
            break;
        }
        // Every record whose next entry is at hand, in one pass; none of them is the file's
        // last, which runs up to the index section.
        const uint64_t batchEnd = std::min<uint64_t>(possible, got - 1);
        if (offsets.size() < batchEnd + 1) {
            offsets.resize(static_cast<size_t>(
                std::min(possible + 1, std::max(batchEnd + 1, uint64_t{offsets.size()} * 2))));
        }
        bool stopped = false;
        for (; i < batchEnd; ++i) {
            const int64_t next = entry(i + 1);
            if (!fits(next)) {
                stopped = true;
                break;
            }
            offsets[i] = static_cast<uint32_t>(offset);
            offset = next;
        }
        if (stopped) {
            break;
        }
        if (i < possible && first + i == numberOfRecords) {
            if (fits(dataEnd)) {
                if (offsets.size() < i + 2) {
                    offsets.resize(static_cast<size_t>(i + 2));
                }
                offsets[i++] = static_cast<uint32_t>(offset);
                offset = dataEnd;
            }
            break;
        }
    }
    const auto count = static_cast<uint32_t>(i);
    if (count > 0) {
        offsets[count] = static_cast<uint32_t>(offset);
        run.input = &inputStream;
        run.runLayout = fields == static_cast<int64_t>(xcf::layout::kB4WrittenFieldsSize)
                            ? xcf::RecordRun::Layout::kB4
                            : xcf::RecordRun::Layout::kB3;
        run.recordType = static_cast<uint8_t>(recordTypeTable[0]);
        run.firstRecord = first;
        run.recordCount = count;
    }
    // The record after the run may be read the usual way: the index window is then the one
    // that reading every record in order would have loaded by now.
    const uint64_t following = uint64_t{first} + count;
    if (following <= numberOfRecords) {
        const uint32_t windowStart =
            static_cast<uint32_t>((following - 1) / kIndexWindowSize * kIndexWindowSize + 1);
        if (indexWindowFirst != windowStart) {
            // The run has usually read the window's entries already.
            const uint64_t from = windowStart >= first ? windowStart - first : got;
            loadIndexWindow(windowStart,
                            from < got ? runEntries.data() + from * kIndexEntrySize : nullptr,
                            from < got ? got - from : 0);
        }
    }
    return count;
}

bool CXcfPmBinaryCaptureFileParser::readString(std::string& out) {
    uint16_t length = 0;
    if (!readUint16(length)) {
        lastErrorCode = kErrorCorruptHeader;
        return false;
    }
    std::string text(length, '\0');
    if (length > 0 && !inputStream.read(&text[0], length)) {
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
    clearSourceNameTable();
    sourceCount = 0;
    // A few slots a read, and only the slots that hold a byte are kept.
    constexpr size_t kSlotsPerRead = 16;
    static_assert(kSourceNameSlots % kSlotsPerRead == 0);
    uint8_t slots[kSlotsPerRead * kSourceNameSlotSize];
    for (size_t first = 0; first < kSourceNameSlots; first += kSlotsPerRead) {
        if (!inputStream.read(slots, sizeof slots)) {
            lastErrorCode = kErrorCorruptHeader;
            return false;
        }
        for (size_t k = 0; k < kSlotsPerRead; ++k) {
            const uint8_t* bytes = slots + k * kSourceNameSlotSize;
            uint64_t any = 0;
            for (size_t i = 0; i < kSourceNameSlotSize; i += sizeof any) {
                uint64_t word = 0;
                std::memcpy(&word, bytes + i, sizeof word);
                any |= word;
            }
            if (any != 0) {
                std::memcpy(writableSourceNameSlot(first + k), bytes, kSourceNameSlotSize);
            }
            if (bytes[0] != 0 || bytes[1] != 0) {
                ++sourceCount;
            }
        }
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readBytes(std::unique_ptr<uint8_t[]>& block, uint32_t count,
                                              bool allocate) {
    if (allocate) {
        // Every byte is overwritten by the read or the block is dropped, so it is not zeroed.
        // A record as large as a damaged index can claim may not fit in memory: its read
        // fails like any other.
        block.reset(new (std::nothrow) uint8_t[count == 0 ? 1 : count]);
        if (!block) {
            return false;
        }
    }
    if (inputStream.failed()) {
        if (allocate) {
            block.reset();
        }
        return false;
    }
    if (count > 0 && !inputStream.read(block.get(), count)) {
        if (allocate) {
            block.reset();
        }
        return false;
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readRecordLayout(uint32_t recordNumber, bool layoutKnown,
                                                     size_t fixedSize, uint32_t extensionSize,
                                                     uint8_t* fields, RecordParts& parts,
                                                     uint32_t& frameLength) {
    uint32_t offset = 0;
    if (!checkRecordExtent(recordNumber, layoutKnown, fixedSize, extensionSize, offset,
                           frameLength)) {
        return false;
    }
    if (!readRecordParts(offset, fields, fixedSize, extensionSize, frameLength, parts)) {
        setError(kErrorCorruptFile, "record " + std::to_string(recordNumber) + " at offset " +
                                        std::to_string(offset) + " could not be read whole");
        return false;
    }
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readRecordTime(uint32_t recordNumber, uint32_t& seconds,
                                                   uint32_t& nanoseconds) {
    const RecordShape shape = recordShape();
    uint32_t offset = 0;
    uint32_t frameLength = 0;
    uint8_t time[xcf::layout::kTimestampSize];
    if (!checkRecordExtent(recordNumber, shape.known && shape.fixedSize <= kMaxFixedFields,
                           shape.fixedSize, shape.extensionSize, offset, frameLength)) {
        return false;
    }
    // Every byte of the extent lies in the file, checked against its size at the open, so
    // reading the whole record would succeed where these bytes are read.
    if (!inputStream.seek(offset) || !inputStream.read(time, sizeof time)) {
        setError(kErrorCorruptFile, "record " + std::to_string(recordNumber) + " at offset " +
                                        std::to_string(offset) + " could not be read whole");
        return false;
    }
    seconds = xcf::load32(time);
    nanoseconds = xcf::load32(time + 4);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::checkRecordExtent(uint32_t recordNumber, bool layoutKnown,
                                                      size_t fixedSize, uint32_t extensionSize,
                                                      uint32_t& offset, uint32_t& frameLength) {
    // Random access: whether a record can be read depends on the file alone, never on a read
    // that failed before it.
    inputStream.clear();
    int64_t span = 0;
    // Said only on a failure: every record read passes here.
    auto record = [recordNumber] { return "record " + std::to_string(recordNumber); };
    if (!recordExtent(recordNumber, offset, span)) {
        // A record the header announces but whose index entry the file lacks is damaged;
        // one beyond the count simply does not exist.
        if (recordNumber != 0 && recordNumber <= numberOfRecords) {
            setError(kErrorCorruptFile, record() + " has no entry in the index, which ends early");
        }
        return false;
    }
    if (span == 0) {
        return false;
    }
    if (!layoutKnown) {
        setError(kErrorCorruptFile,
                 "the records' type and version have no layout these readers know");
        return false;
    }
    uint32_t next = 0;
    if (span < 0 && recordNumber < numberOfRecords && !lookupRecordOffset(recordNumber + 1, next)) {
        setError(kErrorCorruptFile, record() + " ends where the index has no entry for record " +
                                        std::to_string(recordNumber + 1));
        return false;
    }
    if (span <= 0) {
        setError(kErrorCorruptFile, record() + " at offset " + std::to_string(offset) +
                                        " ends at offset " + std::to_string(offset + span) +
                                        " by the index, before it starts");
        return false;
    }
    if (!extentInsideData(offset, span)) {
        setError(kErrorCorruptFile, record() + " at offset " + std::to_string(offset) + ", " +
                                        std::to_string(span) +
                                        " bytes long by the index, lies outside the records "
                                        "from offset " +
                                        std::to_string(offsetToData));
        return false;
    }
    if (span <= static_cast<int64_t>(fixedSize + extensionSize)) {
        setError(kErrorCorruptFile, record() + " at offset " + std::to_string(offset) + " is " +
                                        std::to_string(span) + " bytes long by the index, " +
                                        "too short for its " +
                                        std::to_string(fixedSize + extensionSize) +
                                        " bytes of fields and a frame byte");
        return false;
    }
    frameLength = static_cast<uint32_t>(span - static_cast<int64_t>(fixedSize + extensionSize));
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readRecordParts(uint32_t offset, uint8_t* fields,
                                                    size_t fixedSize, uint32_t extensionSize,
                                                    uint32_t frameLength, RecordParts& parts) {
    if (!inputStream.seek(offset)) {
        return false;
    }
    const size_t total = fixedSize + size_t{extensionSize} + size_t{frameLength};
    if (const uint8_t* bytes = inputStream.peek(total)) {
        std::memcpy(fields, bytes, fixedSize);
        parts.extension = bytes + fixedSize;
        parts.frame = parts.extension + extensionSize;
        inputStream.skip(total);
        return true;
    }
    if (!inputStream.read(fields, fixedSize) ||
        !readBytes(parts.extensionBlock, extensionSize, true) ||
        !readBytes(parts.frameBlock, frameLength, true)) {
        return false;
    }
    parts.extension = parts.extensionBlock.get();
    parts.frame = parts.frameBlock.get();
    return true;
}

bool CXcfPmBinaryCaptureFileParser::storeRecordParts(CXcfCaptureRecord& record, RecordParts& parts,
                                                     uint32_t extensionSize, uint32_t frameLength) {
    bool stored = true;
    if (parts.extensionBlock) {
        record.setExtension(extensionSize, std::move(parts.extensionBlock));
    } else {
        stored = record.copyExtension(extensionSize, parts.extension);
    }
    if (parts.frameBlock) {
        record.setFrame(frameLength, std::move(parts.frameBlock));
    } else {
        stored = stored && record.copyFrame(frameLength, parts.frame);
    }
    if (!stored) {
        lastErrorCode = kErrorCorruptFile;
    }
    return stored;
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
    return inputStream.read(&out, 1);
}

bool CXcfPmBinaryCaptureFileParser::readUint16(uint16_t& out) {
    uint8_t bytes[2];
    if (!inputStream.read(bytes, sizeof bytes)) {
        return false;
    }
    out = xcf::load16(bytes);
    return true;
}

bool CXcfPmBinaryCaptureFileParser::readUint32(uint32_t& out) {
    uint8_t bytes[4];
    if (!inputStream.read(bytes, sizeof bytes)) {
        return false;
    }
    out = xcf::load32(bytes);
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
