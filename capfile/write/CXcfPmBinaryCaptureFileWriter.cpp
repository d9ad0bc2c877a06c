#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"
#include "record/ByteOrder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

CXcfPmBinaryCaptureFileWriter::CXcfPmBinaryCaptureFileWriter(std::string formatName,
                                                             int32_t versionMajorNumber,
                                                             int32_t versionMinorNumber,
                                                             uint16_t formatFlags)
    : CXcfPmCaptureFileWriter(std::move(formatName), versionMajorNumber, versionMinorNumber,
                              formatFlags) {}

CXcfPmBinaryCaptureFileWriter::CXcfPmBinaryCaptureFileWriter(
    std::string formatName, int32_t versionMajorNumber, int32_t versionMinorNumber,
    uint16_t formatFlags, int32_t recordType, const std::string& sourceName,
    const std::string& headerLines)
    : CXcfPmCaptureFileWriter(std::move(formatName), versionMajorNumber, versionMinorNumber,
                              formatFlags) {
    setRecordTypeEntry(0, static_cast<uint16_t>(recordType));
    setSourceNameEntry(0, sourceName);
    headerString += headerLines;
}

CXcfPmBinaryCaptureFileWriter::~CXcfPmBinaryCaptureFileWriter() = default;

void CXcfPmBinaryCaptureFileWriter::writeHeader() {
    writeHeaderWithCaptureTimes();
}

bool CXcfPmBinaryCaptureFileWriter::writeRecordFields(bool frameGood, uint8_t portByte,
                                                      uint32_t seconds, uint32_t nanoseconds,
                                                      uint32_t extensionLength,
                                                      const uint8_t* extension,
                                                      uint32_t frameStoredLength,
                                                      uint32_t frameLength, const uint8_t* frame) {
    return writeRecordValues(frameGood, portByte, seconds, nanoseconds, extensionLength, extension,
                             heldFrameLength(frameStoredLength, frameLength), frame);
}

bool CXcfPmBinaryCaptureFileWriter::open(std::string name, std::string descriptionText) {
    if (name.empty()) {
        return false;
    }
    inputStream.close();
    inputStream.clear();
    // A file open from before is left as it is, not completed.
    outputStream.close();
    indexStream.close();

    fileName = name;
    indexFileName = name + ".idx";
    clearWriteState();
    // The side index file first: when it cannot be had, an existing output has not been
    // touched yet. A file that cannot be created sets no error code, but its cause is kept.
    if (!createIndexStream()) {
        lastSystemError = indexStream.systemError();
        return false;
    }
    if (!createOutputStream()) {
        lastSystemError = outputStream.systemError();
        discard();
        return false;
    }

    // A new file starts empty; records counted for an earlier file are not in it.
    numberOfRecords = 0;
    offsetToIndex = 0;
    setDescription(std::move(descriptionText));
    writeHeader();
    if (hasFailed()) {
        discard();
        return false;
    }
    return true;
}

void CXcfPmBinaryCaptureFileWriter::setDescription(std::string text) {
    description = "#Description: " + text + "\n";
}

void CXcfPmBinaryCaptureFileWriter::putByte(std::ostream& stream, uint32_t value) {
    const uint8_t byte = static_cast<uint8_t>(value);
    emit(stream, &byte, 1);
}

void CXcfPmBinaryCaptureFileWriter::putUint16(std::ostream& stream, uint32_t value) {
    uint8_t bytes[2];
    xcf::store16(bytes, value);
    emit(stream, bytes, sizeof bytes);
}

void CXcfPmBinaryCaptureFileWriter::putUint32(std::ostream& stream, uint32_t value) {
    uint8_t bytes[4];
    xcf::store32(bytes, value);
    emit(stream, bytes, sizeof bytes);
}

void CXcfPmBinaryCaptureFileWriter::putString(std::ostream& stream, const char* characters,
                                              uint32_t length) {
    if (characters == nullptr) {
        length = 0;
    } else if (length == 0) {
        length = static_cast<uint32_t>(std::strlen(characters));
    }
    length = std::min(length, kMaxCountedStringLength);
    putUint16(stream, length);
    emit(stream, characters, length);
}

void CXcfPmBinaryCaptureFileWriter::putString(std::ostream& stream, const std::string& text,
                                              uint32_t length) {
    // Never reads beyond the text, whatever length is asked for.
    length = static_cast<uint32_t>(std::min<uint64_t>(length, text.size()));
    putString(stream, text.c_str(), length);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchField(uint64_t fieldPosition, const uint8_t* bytes,
                                                   size_t count) {
    const uint64_t back = outputPosition();
    if (!outputStream.isOpen()) {
        return back;
    }
    seekOutput(fieldPosition);
    // After a failed seek the bytes would land in the wrong place.
    if (!hasFailed()) {
        emit(outputStream, bytes, count);
    }
    return back;
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchOffsetToData() {
    uint8_t bytes[4];
    xcf::store32(bytes, offsetToData);
    return patchField(offsetToDataPos, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchOffsetToIndex() {
    uint8_t bytes[4];
    xcf::store32(bytes, offsetToIndex);
    return patchField(offsetToIndexPos, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchNumberOfRecords() {
    uint8_t bytes[4];
    xcf::store32(bytes, numberOfRecords);
    return patchField(numberOfRecordsPos, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchRecordTypeTable() {
    uint8_t bytes[kRecordTypeEntries * 2];
    for (size_t i = 0; i < kRecordTypeEntries; ++i) {
        xcf::store16(bytes + 2 * i, recordTypeTable[i]);
    }
    return patchField(recordTypeTablePos, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchSourceNameTable() {
    std::vector<uint8_t> table(kSourceNameTableSize);
    storeSourceNameTable(table.data());
    return patchField(sourceNameTablePos, table.data(), table.size());
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchTimeOfDay(uint64_t fieldPosition,
                                                       const CXcfTimeOfDay& timeOfDay) {
    uint8_t bytes[6];
    xcf::store16(bytes, timeOfDay.getHours());
    xcf::store16(bytes + 2, timeOfDay.getMinutes());
    xcf::store16(bytes + 4, timeOfDay.getMillisecondsOfMinute());
    return patchField(fieldPosition, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchCaptureStartTimeOfDay() {
    return patchTimeOfDay(captureStartTimeOfDayPos, captureStartTimeOfDay);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchCaptureStopTimeOfDay() {
    return patchTimeOfDay(captureStopTimeOfDayPos, captureStopTimeOfDay);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchCaptureStopTimestamp() {
    uint8_t bytes[8];
    xcf::store32(bytes, static_cast<uint32_t>(captureStopTimestamp.getSeconds()));
    xcf::store32(bytes + 4, static_cast<uint32_t>(captureStopTimestamp.getNanoseconds()));
    return patchField(captureStopTimestampPos, bytes, sizeof bytes);
}

uint64_t CXcfPmBinaryCaptureFileWriter::patchTriggerPacketNumber() {
    uint8_t bytes[4];
    xcf::store32(bytes, triggerPacketNumber);
    return patchField(triggerPacketNumberPos, bytes, sizeof bytes);
}

void CXcfPmBinaryCaptureFileWriter::setSourceRecordType(uint32_t index, uint32_t value) {
    setRecordTypeEntry(static_cast<uint8_t>(index % 256), static_cast<uint16_t>(value));
    if (canPatch()) {
        seekOutput(patchRecordTypeTable());
    }
}

void CXcfPmBinaryCaptureFileWriter::setSourceName(uint32_t index, std::string text) {
    setSourceNameEntry(static_cast<uint8_t>(index % 256), std::move(text));
    if (canPatch()) {
        seekOutput(patchSourceNameTable());
    }
}

void CXcfPmBinaryCaptureFileWriter::setCaptureStartTimeOfDay(const CXcfTimeOfDay& timeOfDay) {
    captureStartTimeOfDay = timeOfDay;
    if (canPatch()) {
        seekOutput(patchCaptureStartTimeOfDay());
    }
}

void CXcfPmBinaryCaptureFileWriter::setCaptureStopTimeOfDay(const CXcfTimeOfDay& timeOfDay) {
    captureStopTimeOfDay = timeOfDay;
    if (canPatch()) {
        seekOutput(patchCaptureStopTimeOfDay());
    }
}

void CXcfPmBinaryCaptureFileWriter::setCaptureStopTimestamp(int32_t seconds, int32_t nanoseconds) {
    setCaptureStopTimestamp(CXcfTimestamp(seconds, nanoseconds));
}

void CXcfPmBinaryCaptureFileWriter::setCaptureStopTimestamp(const CXcfTimestamp& timestamp) {
    captureStopTimestamp = timestamp;
    if (canPatch()) {
        seekOutput(patchCaptureStopTimestamp());
    }
}

void CXcfPmBinaryCaptureFileWriter::setTriggerPacketNumber(uint32_t number) {
    triggerPacketNumber = number;
    if (canPatch()) {
        seekOutput(patchTriggerPacketNumber());
    }
}

void CXcfPmBinaryCaptureFileWriter::writeHeaderWithCaptureTimes() {
    CXcfPmCaptureFileWriter::writeHeader();
    if (hasFailed()) {
        return;
    }
    captureStartTimeOfDayPos = outputPosition();
    patchCaptureStartTimeOfDay();
    captureStopTimeOfDayPos = outputPosition();
    patchCaptureStopTimeOfDay();
    captureStopTimestampPos = outputPosition();
    patchCaptureStopTimestamp();
    triggerPacketNumberPos = outputPosition();
    patchTriggerPacketNumber();
    offsetToData = static_cast<uint32_t>(outputPosition());
    seekOutput(patchOffsetToData());
}

bool CXcfPmBinaryCaptureFileWriter::startRecord(size_t fieldCount, const uint8_t* frame,
                                                uint32_t frameLength) {
    if (!canPatch() || (frame == nullptr && frameLength > 0)) {
        return false;
    }
    if (!recordFits(fieldCount + uint64_t{frameLength})) {
        return false;
    }
    // Records always go at the end, even if a patch operation was called directly and the
    // output was not moved back; normally this costs one comparison and no system call.
    if (outputPosition() != outputEnd()) {
        seekOutput(outputEnd());
    }
    uint8_t entry[kIndexEntrySize];
    xcf::store32(entry, static_cast<uint32_t>(outputPosition()));
    emit(indexStream, entry, sizeof entry);
    return !hasFailed();
}

uint32_t CXcfPmBinaryCaptureFileWriter::copyRecordBytes(xcf::InputFile& input,
                                                        const uint32_t* offsets, uint32_t count,
                                                        bool fromB3) {
    if (!canPatch() || count == 0) {
        return 0;
    }
    // The bytes a B3 record lacks in front of its layer-2 byte in B4 form: port and status.
    constexpr uint32_t kGained =
        xcf::layout::kB4WrittenFieldsSize - xcf::layout::kB3WrittenFieldsSize;
    const uint32_t gained = fromB3 ? kGained : 0;
    // The records that fit the size limit, decided one by one as writeRecordData decides.
    // When the last record fits, all before it do; otherwise the first that does not is
    // found one by one.
    // Record `at` of the run in output bytes, and the run's bytes in front of it.
    auto recordBytes = [&](uint32_t at) {
        return uint64_t{offsets[at + 1] - offsets[at]} + gained;
    };
    auto bytesBefore = [&](uint32_t at) {
        return uint64_t{offsets[at] - offsets[0]} + uint64_t{gained} * at;
    };
    uint32_t fitting = count;
    const uint32_t last = count - 1;
    if (!wouldFit(recordBytes(last), bytesBefore(last), last)) {
        fitting = 0;
        while (fitting < count && recordFits(recordBytes(fitting), bytesBefore(fitting), fitting)) {
            ++fitting;
        }
    }
    if (fitting == 0) {
        return 0;
    }
    if (outputPosition() != outputEnd()) {
        seekOutput(outputEnd());
    }
    const uint64_t start = outputEnd();
    uint32_t copied = 0;
    if (!fromB3) {
        // The records as they lie, from file to file.
        uint64_t bytes = 0;
        const uint64_t total = uint64_t{offsets[fitting]} - offsets[0];
        if (outputStream.copyFrom(input, offsets[0], total, bytes)) {
            copied = fitting;
        }
        while (copied < fitting && uint64_t{offsets[copied + 1]} - offsets[0] <= bytes) {
            ++copied;
        }
        if (copied < fitting && !outputStream.failed()) {
            outputStream.dropFrom(start + (uint64_t{offsets[copied]} - offsets[0]));
        }
    } else {
        // Each record read as it lies, the two bytes inserted behind its timestamp. The
        // records are read in pieces small enough to stay in the processor's cache until
        // they are copied into the output's block.
        constexpr uint64_t kPiece = 128 * 1024;
        bool readWhole = true;
        while (copied < fitting && readWhole) {
            const uint32_t first = copied;
            uint32_t end = first + 1;
            while (end < fitting && uint64_t{offsets[end + 1]} - offsets[first] <= kPiece) {
                ++end;
            }
            const uint64_t want = uint64_t{offsets[end]} - offsets[first];
            if (copyScratch.size() < want) {
                copyScratch.resize(want);
            }
            const size_t got = input.readAt(offsets[first], copyScratch.data(), want);
            readWhole = got == want;
            while (copied < end && uint64_t{offsets[copied + 1]} - offsets[first] <= got) {
                const uint8_t* record = copyScratch.data() + (offsets[copied] - offsets[first]);
                const uint32_t size = offsets[copied + 1] - offsets[copied];
                uint8_t* at = size + kGained <= xcf::OutputFile::kBlockSize
                                  ? outputStream.reserve(size + kGained)
                                  : nullptr;
                if (at != nullptr) {
                    std::memcpy(at, record, xcf::layout::kTimestampSize);
                    std::memset(at + xcf::layout::kTimestampSize, 0, kGained);
                    std::memcpy(at + xcf::layout::kTimestampSize + kGained,
                                record + xcf::layout::kTimestampSize,
                                size - xcf::layout::kTimestampSize);
                } else {
                    static const uint8_t kZeros[kGained] = {};
                    emit(outputStream, record, xcf::layout::kTimestampSize);
                    emit(outputStream, kZeros, kGained);
                    emit(outputStream, record + xcf::layout::kTimestampSize,
                         size - xcf::layout::kTimestampSize);
                }
                if (outputStream.failed()) {
                    readWhole = false;
                    break;
                }
                ++copied;
            }
        }
    }
    if (outputStream.failed()) {
        markFailed();
        return 0;
    }
    // Their index entries: where each landed in the output.
    // Stored straight into the side index file's block, a block's worth at a time.
    const uint32_t perBlock = static_cast<uint32_t>(xcf::OutputFile::kBlockSize / kIndexEntrySize);
    const uint32_t base = static_cast<uint32_t>(start - offsets[0]);
    for (uint32_t from = 0; from < copied && !hasFailed(); from += perBlock) {
        const uint32_t entries = std::min(perBlock, copied - from);
        uint8_t* at = indexStream.reserve(size_t{entries} * kIndexEntrySize);
        if (at == nullptr) {
            markFailed();
            break;
        }
        for (uint32_t i = from; i < from + entries; ++i, at += kIndexEntrySize) {
            xcf::store32(at, base + offsets[i] + gained * i);
        }
    }
    if (hasFailed()) {
        return 0;
    }
    numberOfRecords += copied;
    return copied;
}

uint32_t CXcfPmBinaryCaptureFileWriter::copyRecords(const xcf::RecordRun& run, uint32_t from,
                                                    uint32_t count) {
    if (run.file() == nullptr || from >= run.count()) {
        return 0;
    }
    const bool intoB4 = std::strcmp(formatCodeChars, "B4") == 0;
    const bool fromB3 = run.layout() == xcf::RecordRun::Layout::kB3;
    if (!fromB3 && !intoB4) {
        return 0;
    }
    return copyRecordBytes(*run.file(), run.offsets() + from, std::min(count, run.count() - from),
                           fromB3 && intoB4);
}

bool CXcfPmBinaryCaptureFileWriter::finishRecord() {
    if (hasFailed()) {
        return false;
    }
    ++numberOfRecords;
    return true;
}

void CXcfPmBinaryCaptureFileWriter::extensionValues(uint32_t extensionLength,
                                                    const uint8_t* extension, uint32_t& firstByte,
                                                    uint32_t& nextFourBytes) {
    uint8_t bytes[5] = {0, 0, 0, 0, 0};
    if (extension != nullptr) {
        std::memcpy(bytes, extension, std::min<uint32_t>(extensionLength, sizeof bytes));
    }
    firstByte = bytes[0];
    nextFourBytes = xcf::load32(bytes + 1);
}

uint32_t CXcfPmBinaryCaptureFileWriter::heldFrameLength(uint32_t frameStoredLength,
                                                        uint32_t frameLength) {
    return std::min(frameStoredLength, frameLength);
}
