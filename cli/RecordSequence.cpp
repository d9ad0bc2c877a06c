#include "cli/RecordSequence.h"

#include <string>

#include "cli/Console.h"

namespace cli {

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
            printLine("WARNING (appendRecords) - Stopped reading file: '" + current.getFileName() +
                      "' at record " + std::to_string(nextNumber) + " of " +
                      std::to_string(current.numberOfRecords) +
                      "; its remaining records were skipped.");
        }
        current.releaseBuffers();
        ++index;
        startInput();
    }
    return nullptr;
}

}  // namespace cli
