#include "flow/FileOrderSource.h"

#include "capfile/read/CXcfPmCaptureFileParser.h"

namespace flow {

FileOrderSource::FileOrderSource(const Readers& readers) {
    for (const auto& reader : readers) {
        this->readers.push_back(reader.get());
    }
    startInput(1);
}

FileOrderSource::FileOrderSource(CXcfPmCaptureFileParser& reader, uint32_t first)
    : readers{&reader} {
    startInput(first);
}

void FileOrderSource::startInput(uint32_t first) {
    nextNumber = first;
    if (index < readers.size()) {
        currentFormat = captureFormatOf(readers[index]->getFormatCode());
        record = &records.recordFor(currentFormat);
    }
}

bool FileOrderSource::runsFrom(CaptureFormat& format) const {
    format = currentFormat;
    // A run's bytes go out as they lie: a shifted time must pass through a record.
    return index < readers.size() && currentFormat != CaptureFormat::kOther && shiftOf(index) == 0;
}

uint32_t FileOrderSource::nextRun(uint32_t maxCount, uint64_t maxBytes, RecordRun& run) {
    if (index >= readers.size()) {
        return 0;
    }
    CXcfPmCaptureFileParser& current = *readers[index];
    const uint32_t count = current.planRun(nextNumber, maxCount, maxBytes, run);
    last = {currentFormat, index, &current, nextNumber};
    nextNumber += count;
    return count;
}

const CXcfCaptureRecord* FileOrderSource::next() {
    while (index < readers.size()) {
        CXcfPmCaptureFileParser& current = *readers[index];
        if (current.readRecord(nextNumber, *record)) {
            if (shiftOf(index) != 0) {
                uint64_t time = recordTime(*record);
                if (!shift(index, current, nextNumber, time)) {
                    index = readers.size();
                    return nullptr;
                }
                setTime(*record, time);
            }
            last = {currentFormat, index, &current, nextNumber++};
            return record;
        }
        if (nextNumber <= current.numberOfRecords) {
            // Ending the input here keeps the positions of the sequence, but a damaged input
            // must not lose its remaining records without a word.
            reportDamage(current, nextNumber);
        }
        current.releaseBuffers();
        ++index;
        startInput(1);
    }
    return nullptr;
}

}  // namespace flow
