#include "capfile/read/CXcfCaptureFileParser.h"

#include <limits>

CXcfCaptureFileParser::CXcfCaptureFileParser() = default;

CXcfCaptureFileParser::~CXcfCaptureFileParser() {
    inputStream.close();
}

void CXcfCaptureFileParser::close() {
    inputStream.close();
    reset();
    rewind();
}

int64_t CXcfCaptureFileParser::measureFileSize() {
    // Leaves the read position and the failed state as they are: a file that failed on a
    // short read must stay failed.
    const int64_t size = inputStream.size();
    fileSize = size < 0 ? 0 : size;
    return fileSize;
}

uint32_t CXcfCaptureFileParser::readNextRecord(CXcfCaptureRecord& record) {
    if (!readRecord(currentRecord, record)) {
        return 0;
    }
    return currentRecord++;
}

bool CXcfCaptureFileParser::open(std::string name) {
    close();
    if (name.empty()) {
        return false;
    }
    setFileName(std::move(name));
    return openFile();
}

bool CXcfCaptureFileParser::openWith(xcf::InputFile& file, std::string name) {
    close();
    if (name.empty() || !file.isOpen()) {
        return false;
    }
    setFileName(std::move(name));
    inputStream.swap(file);
    inputStream.clear();
    lender = &file;
    const bool opened = openFile();
    if (!opened) {
        dropInput();
    }
    lender = nullptr;
    return opened;
}

void CXcfCaptureFileParser::dropInput() {
    if (lender == nullptr) {
        inputStream.close();
        return;
    }
    // The cause of the refusal stays with this reader, not with the file it gives back.
    if (inputStream.systemError() != 0) {
        lastSystemError = inputStream.systemError();
    }
    inputStream.swap(*lender);
    lender = nullptr;
}

void CXcfCaptureFileParser::rewind() {
    currentRecord = 1;
}

uint32_t CXcfCaptureFileParser::recordSize(uint32_t recordNumber) {
    if (recordNumber - 1 >= numberOfRecords) {
        return 0;
    }
    if (recordLength != 0) {
        return recordLength;
    }
    uint32_t offset = 0;
    // A record without an index entry has no size, not one measured from offset 0.
    if (!lookupRecordOffset(recordNumber, offset)) {
        return 0;
    }
    const int64_t span = spanAfter(recordNumber, offset);
    if (span < 0 || span > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    return static_cast<uint32_t>(span);
}

bool CXcfCaptureFileParser::recordOffset(uint32_t recordNumber, uint32_t& offset) {
    offset = 0;
    if (recordNumber == 0 || recordNumber - 1 >= numberOfRecords) {
        return false;
    }
    if (recordLength != 0) {
        const uint64_t start =
            uint64_t{offsetToData} + uint64_t{recordNumber - 1} * uint64_t{recordLength};
        // A record that starts beyond what a 32-bit offset can name cannot be addressed.
        if (start > std::numeric_limits<uint32_t>::max()) {
            return false;
        }
        offset = static_cast<uint32_t>(start);
        return true;
    }
    return lookupRecordOffset(recordNumber, offset);
}

bool CXcfCaptureFileParser::checkLayout() {
    const int64_t size = measureFileSize();
    const uint64_t S = size < 0 ? 0 : static_cast<uint64_t>(size);
    const uint64_t N = numberOfRecords;
    const uint64_t L = recordLength;
    const uint64_t D = offsetToData;
    const uint64_t I = offsetToIndex;
    const uint64_t E = D + N * L;  // cannot overflow: each factor is below 2^32

    const std::string file = " (the file holds " + std::to_string(S) + " bytes)";
    std::string fault;
    if (D == 0 || D > S) {
        fault =
            "the offset to the records, " + std::to_string(D) + ", lies outside the file" + file;
    } else if (I > S) {
        fault =
            "the offset to the index, " + std::to_string(I) + ", lies past the file's end" + file;
    } else if (I != 0 && I < E) {
        fault = "the index at " + std::to_string(I) +
                " starts inside the records, which run from " + std::to_string(D) + " to " +
                std::to_string(E);
    } else if (N != 0 && E > S) {
        fault = std::to_string(N) + " records of " + std::to_string(L) + " bytes from " +
                std::to_string(D) + " end at " + std::to_string(E) + ", past the file's end" + file;
    } else if (N == 0 && I != 0) {
        fault = "no records, but an index at " + std::to_string(I);
    }
    if (!fault.empty()) {
        setError(kErrorCorruptHeader, fault);
        return false;
    }
    return true;
}

int64_t CXcfCaptureFileParser::spanAfter(uint32_t recordNumber, uint32_t offset) {
    if (recordLength != 0) {
        return recordLength;
    }
    uint32_t next = 0;
    if (lookupRecordOffset(recordNumber + 1, next)) {
        return int64_t{next} - int64_t{offset};
    }
    if (recordNumber < numberOfRecords) {
        return -1;  // the next record's entry lies past the end of the index section
    }
    if (offsetToIndex != 0) {
        return int64_t{offsetToIndex} - int64_t{offset};
    }
    return measureFileSize() - int64_t{offset};
}

bool CXcfCaptureFileParser::recordExtent(uint32_t recordNumber, uint32_t& offset, int64_t& span) {
    span = 0;
    if (!recordOffset(recordNumber, offset)) {
        return false;
    }
    span = spanAfter(recordNumber, offset);
    return true;
}

bool CXcfCaptureFileParser::extentInsideData(uint32_t offset, int64_t span) const {
    // A record's length is a 32-bit quantity everywhere it is stored.
    if (span <= 0 || span > std::numeric_limits<uint32_t>::max() || offset < offsetToData) {
        return false;
    }
    const int64_t dataEnd = offsetToIndex != 0 ? int64_t{offsetToIndex} : fileSize;
    return int64_t{offset} + span <= dataEnd;
}
