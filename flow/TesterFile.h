// A B3 or B4 output file: the one place a program picks the writer of its output format,
// creates it under a temporary name beside its output through the programs' one opener, writes
// records in the output's form (RecordMapping) and copies runs whose bytes are already in it.
// What becomes of the file (committed, kept with others, given up) is the caller's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"
#include "cli/OutputOpener.h"
#include "cli/SafeOutput.h"
#include "flow/FormatRecords.h"
#include "flow/RecordMapping.h"
#include "flow/RecordSink.h"
#include "flow/RecordSource.h"
#include "record/CXcfCaptureRecord.h"

namespace flow {

// The port type and id an output names as its own, taken from the first input: a B3 input's
// port description; for a B4 input the name of its first record's port, or of its source 0
// when that record cannot be read or its port has no name. The fixed defaults remain where
// the input names nothing.
void outputPortOf(CXcfPmCaptureFileParser& first, std::string& portType, std::string& portId);

class TesterFile : public RecordSink {
  public:
    // A B4 file for kB4, a B3 file otherwise, naming the port type and id (its direction
    // is always "Rx").
    TesterFile(CaptureFormat format, const std::string& portType, const std::string& portId);
    ~TesterFile() override;
    TesterFile(const TesterFile&) = delete;
    TesterFile& operator=(const TesterFile&) = delete;

    // The largest file the writer may produce; 0 keeps the format's own limit.
    void setSizeLimit(uint64_t bytes);
    // Creates the file under a fresh temporary name of output, which the opener has checked
    // for name; description is the text of its header. False after reporting why.
    bool create(cli::SafeOutput& output, const std::string& name, const cli::OutputOpener& opener,
                const std::string& description);

    CaptureFormat format() const { return outputFormat; }
    CXcfPmBinaryCaptureFileWriter& writer() { return *fileWriter; }
    const CXcfPmBinaryCaptureFileWriter& writer() const { return *fileWriter; }
    // The writer failed or reached its size limit: it takes nothing more.
    bool isFull() const { return fileWriter->hasFailed() || fileWriter->isSizeLimitReached(); }

    // The record in the output's form; false when the writer refused it.
    bool write(const CXcfCaptureRecord& record, CaptureFormat source) {
        return writeMapped(*fileWriter, outputFormat, record, source);
    }
    // Copies count records of the run from its record `from` (from 0) on; returns how many
    // were copied: fewer where the writer refused one or the input could not be read.
    uint32_t copy(const RecordRun& run, uint32_t from, uint32_t count) {
        return fileWriter->copyRecords(run, from, count);
    }
    // The most bytes of a run of an input of this format the output copies; 0 for none.
    static uint64_t runBytesFor(CaptureFormat output, CaptureFormat input);

    bool take(const CXcfCaptureRecord& record, const RecordOrigin& origin) override {
        return write(record, origin.format);
    }
    uint64_t runBytes(CaptureFormat input) const override {
        return runBytesFor(outputFormat, input);
    }
    uint32_t takeRun(RecordRun& run, const RecordOrigin& origin, bool& stop) override;

  private:
    CaptureFormat outputFormat;
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> fileWriter;
};

}  // namespace flow
