#include "cli/RecordSequence.h"

#include <string>

#include "cli/Console.h"

namespace cli {

void warnStoppedReading(const CXcfPmCaptureFileParser& reader, uint32_t record) {
    printLine("WARNING (appendRecords) - Stopped reading file: '" + reader.getFileName() +
              "' at record " + std::to_string(record) + " of " +
              std::to_string(reader.numberOfRecords) + "; its remaining records were skipped.");
}

RecordSequence::RecordSequence(Readers& readers) : readers(readers) {
    startInput();
}

void RecordSequence::startInput() {
    nextNumber = 1;
    if (index < readers.size()) {
        currentFormat = captureFormatOf(readers[index]->getFormatCode());
        record = &records.recordFor(currentFormat);
    }
}

uint32_t RecordSequence::nextRun(CaptureFormat output, uint32_t maxCount,
                                 std::vector<uint32_t>& offsets, bool& fromB3) {
    if (index >= readers.size() || currentFormat == CaptureFormat::kOther ||
        (currentFormat == CaptureFormat::kB4 && output != CaptureFormat::kB4)) {
        return 0;
    }
    fromB3 = currentFormat == CaptureFormat::kB3 && output == CaptureFormat::kB4;
    // Converted records pass through a block of the writer's; copied ones go from file to
    // file and cost no memory however many bytes they are.
    return nextRawRun(maxCount, fromB3 ? kConvertedRunBytes : kCopiedRunBytes, offsets);
}

uint32_t RecordSequence::nextRawRun(uint32_t maxCount, uint64_t maxBytes,
                                    std::vector<uint32_t>& offsets) {
    if (index >= readers.size()) {
        return 0;
    }
    const uint32_t count = readers[index]->recordRun(nextNumber, maxCount, maxBytes, offsets);
    nextNumber += count;
    return count;
}

CXcfCaptureRecord* RecordSequence::next() {
    while (index < readers.size()) {
        CXcfPmCaptureFileParser& current = *readers[index];
        if (current.readRecord(nextNumber, *record)) {
            ++nextNumber;
            return record;
        }
        if (nextNumber <= current.numberOfRecords) {
            // Ending the input here keeps the positions of the sequence, but a damaged input
            // must not lose its remaining records without a word.
            warnStoppedReading(current, nextNumber);
        }
        current.releaseBuffers();
        ++index;
        startInput();
    }
    return nullptr;
}

}  // namespace cli
