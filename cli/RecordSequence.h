// The records of several inputs as one sequence: input after input, each from its first
// record until its first failed read, nothing reordered. A read that fails before the count
// an input's header announces means a damaged input: the WARNING line says so, and the next
// input goes on. An input that is done gives back its reading blocks at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/FormatRecords.h"
#include "record/CXcfCaptureRecord.h"

namespace cli {

// The WARNING line for an input whose record `record`, inside the count its header announces,
// could not be read: its remaining records are skipped.
void warnStoppedReading(const CXcfPmCaptureFileParser& reader, uint32_t record);

class RecordSequence {
  public:
    using Readers = std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>;

    explicit RecordSequence(Readers& readers);

    // The next record, in the record object of its input's format; nullptr when every input
    // is done. The record stays valid until the next call.
    CXcfCaptureRecord* next();

    // Of the input the last record came from.
    CaptureFormat format() const { return currentFormat; }
    size_t inputIndex() const { return index; }
    CXcfPmCaptureFileParser& reader() const { return *readers[index]; }
    // The last record's number within its input, from 1.
    uint32_t recordNumber() const { return nextNumber - 1; }

    // For a caller that copies records as bytes into a writer of the output format: when the
    // current input's next records can be copied (see CXcfPmCaptureFileParser::recordRun),
    // how many from here (at most maxCount), their offsets, and whether they are B3 records
    // for a B4 output; the sequence moves past them. 0 when the next record must come from
    // next().
    uint32_t nextRun(CaptureFormat output, uint32_t maxCount, std::vector<uint32_t>& offsets,
                     bool& fromB3);
    // The same for a caller that takes records straight from their bytes, whatever the
    // output: runs of records laid out as the writers lay them out, of at most maxBytes.
    uint32_t nextRawRun(uint32_t maxCount, uint64_t maxBytes, std::vector<uint32_t>& offsets);
    // Hands back the last `records` of a run that could not be copied: next() reads them.
    void giveBack(uint32_t records) { nextNumber -= records; }

  private:
    static constexpr uint64_t kConvertedRunBytes = 1024 * 1024;
    static constexpr uint64_t kCopiedRunBytes = 64 * 1024 * 1024;

    void startInput();

    Readers& readers;
    size_t index = 0;
    uint32_t nextNumber = 1;
    FormatRecords records;
    CaptureFormat currentFormat = CaptureFormat::kB3;
    CXcfCaptureRecord* record = nullptr;
};

}  // namespace cli
