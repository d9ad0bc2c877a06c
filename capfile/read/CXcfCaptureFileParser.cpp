#include "capfile/read/CXcfCaptureFileParser.h"

#include <algorithm>
#include <cstring>
#include <limits>

CXcfCaptureFileParser::CXcfCaptureFileParser() = default;

CXcfCaptureFileParser::~CXcfCaptureFileParser() {
    if (inputStream.is_open()) {
        inputStream.close();
    }
}

void CXcfCaptureFileParser::close() {
    if (inputStream.is_open()) {
        inputStream.close();
    }
    forgetInputPosition();
    reset();
    rewind();
}

int64_t CXcfCaptureFileParser::measureFileSize() {
    // Through the file buffer, so that the stream's state flags stay as they are: a stream
    // that failed on a short read must stay failed.
    std::filebuf* buffer = inputStream.rdbuf();
    const std::streampos here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
    fileSize = end == std::streampos(-1) ? 0 : static_cast<int64_t>(end);
    if (here == std::streampos(-1) ||
        buffer->pubseekpos(here, std::ios::in) == std::streampos(-1)) {
        forgetInputPosition();
    }
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
    lookupRecordOffset(recordNumber, offset);
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

    bool good = true;
    if (D == 0 || D > S) {
        good = false;
    } else if (I > S) {
        good = false;
    } else if (I != 0 && I < E) {
        good = false;
    } else if (N != 0) {
        good = E <= S;
    } else {
        good = I == 0;
    }
    if (!good) {
        lastErrorCode = kErrorCorruptHeader;
    }
    return good;
}

int64_t CXcfCaptureFileParser::spanAfter(uint32_t recordNumber, uint32_t offset) {
    if (recordLength != 0) {
        return recordLength;
    }
    uint32_t next = 0;
    if (lookupRecordOffset(recordNumber + 1, next)) {
        return int64_t{next} - int64_t{offset};
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

bool CXcfCaptureFileParser::seekInput(uint64_t position) {
    if (inputStream.good() && inputPosition >= 0) {
        const uint64_t blockStart = static_cast<uint64_t>(inputPosition) - readAheadCursor;
        if (position >= blockStart && position <= blockStart + readAheadFill) {
            readAheadCursor = static_cast<size_t>(position - blockStart);
            inputPosition = static_cast<int64_t>(position);
            return true;
        }
    }
    readAheadFill = 0;
    readAheadCursor = 0;
    inputStream.seekg(static_cast<std::streamoff>(position), std::ios::beg);
    if (inputStream.fail()) {
        forgetInputPosition();
        return false;
    }
    inputPosition = static_cast<int64_t>(position);
    return true;
}

void CXcfCaptureFileParser::forgetInputPosition() {
    inputPosition = -1;
    readAheadFill = 0;
    readAheadCursor = 0;
}

bool CXcfCaptureFileParser::failInput() {
    // The state flags end up as a short stream read would leave them.
    inputStream.setstate(std::ios::eofbit | std::ios::failbit);
    forgetInputPosition();
    return false;
}

bool CXcfCaptureFileParser::readInput(void* into, size_t count) {
    if (!inputStream.good()) {
        inputStream.setstate(std::ios::failbit);
        forgetInputPosition();
        return false;
    }
    if (inputPosition < 0) {
        const std::streampos here = inputStream.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
        if (here == std::streampos(-1)) {
            return failInput();
        }
        inputPosition = static_cast<int64_t>(here);
        readAheadFill = 0;
        readAheadCursor = 0;
    }
    uint8_t* out = static_cast<uint8_t*>(into);
    while (count > 0) {
        const size_t available = readAheadFill - readAheadCursor;
        if (available > 0) {
            const size_t n = std::min(available, count);
            std::memcpy(out, readAhead.get() + readAheadCursor, n);
            readAheadCursor += n;
            inputPosition += static_cast<int64_t>(n);
            out += n;
            count -= n;
            continue;
        }
        readAheadFill = 0;
        readAheadCursor = 0;
        if (count >= kReadAheadSize) {
            // Large blocks go straight to their destination.
            const std::streamsize got = inputStream.rdbuf()->sgetn(
                reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
            if (got < 0 || static_cast<size_t>(got) != count) {
                return failInput();
            }
            inputPosition += got;
            return true;
        }
        if (!readAhead) {
            readAhead = std::make_unique<uint8_t[]>(kReadAheadSize);
        }
        const std::streamsize got = inputStream.rdbuf()->sgetn(
            reinterpret_cast<char*>(readAhead.get()), static_cast<std::streamsize>(kReadAheadSize));
        if (got <= 0) {
            return failInput();
        }
        readAheadFill = static_cast<size_t>(got);
    }
    return true;
}

const uint8_t* CXcfCaptureFileParser::peekInput(size_t count) {
    if (count > kReadAheadSize || !inputStream.good() || inputPosition < 0) {
        return nullptr;
    }
    size_t available = readAheadFill - readAheadCursor;
    if (available < count) {
        if (!readAhead) {
            readAhead = std::make_unique<uint8_t[]>(kReadAheadSize);
        }
        std::memmove(readAhead.get(), readAhead.get() + readAheadCursor, available);
        readAheadCursor = 0;
        readAheadFill = available;
        while (readAheadFill < count) {
            const std::streamsize got = inputStream.rdbuf()->sgetn(
                reinterpret_cast<char*>(readAhead.get() + readAheadFill),
                static_cast<std::streamsize>(kReadAheadSize - readAheadFill));
            if (got <= 0) {
                return nullptr;
            }
            readAheadFill += static_cast<size_t>(got);
        }
    }
    return readAhead.get() + readAheadCursor;
}

void CXcfCaptureFileParser::skipInput(size_t count) {
    readAheadCursor += count;
    inputPosition += static_cast<int64_t>(count);
}
