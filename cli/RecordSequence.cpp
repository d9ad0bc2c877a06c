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
