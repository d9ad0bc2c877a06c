// trcedit's output: one file, or chunk files named after it with a sequence number, each a
// complete B3 or B4 file on its own (header, tables, description, index, and capture times and
// trigger packet number of its own records). Every file is written under a temporary name and
// renamed into place only when the whole run has succeeded; until then, and after a failure,
// the names hold what they held before.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "flow/FormatRecords.h"
#include "flow/RecordSink.h"
#include "flow/TesterFile.h"
#include "record/CXcfCaptureRecord.h"
#include "trcedit/EditSettings.h"

class ChunkedOutput : public flow::RecordSink {
  public:
    ChunkedOutput(const EditSettings& settings, flow::CaptureFormat format, std::string portType,
                  std::string portId, cli::RunReport& report);
    ~ChunkedOutput() override;

    // Checks the output name before anything is written, and that a split by records of at
    // most recordsAtMost records stays within the chunks that can be named; false after
    // reporting why.
    bool prepare(uint64_t recordsAtMost);
    // Writes the record into the current file, starting the next chunk first when the split
    // rule says so. False after reporting why (a write failure, the format's size limit).
    bool write(const CXcfCaptureRecord& record, flow::CaptureFormat source);
    // Copies the records of a run across as many chunks as the split rule makes. stop is set
    // when the run must end (after reporting why); fewer records without it: the input could
    // not be read from there on.
    uint32_t takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) override;
    bool take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) override {
        return write(record, origin.format);
    }
    uint64_t runBytes(flow::CaptureFormat input) const override;
    // Completes the last file and renames every file into place, all of them or none: the
    // files they replace are kept aside until the last one is in place, and put back when
    // one cannot be. False after reporting why.
    bool commit();
    // Removes every temporary file written.
    void discard();

    uint64_t records() const { return totalRecords; }
    size_t files() const { return written.size() + (file ? 1 : 0); }
    // True when the run stopped at the 4 GiB limit with complete files (reported as such).
    bool stoppedAtSizeLimit() const { return sizeLimitStop; }
    // The name of chunk n (from 1) of an output name: cut.cap gives cut-00001.cap.
    static std::string chunkName(const std::string& outputName, size_t number);
    // The chunk names of an output name as a pattern: cut.cap gives cut-NNNNN.cap.
    static std::string chunkPattern(const std::string& outputName);

  private:
    struct Pending {
        cli::SafeOutput output;
        std::string name;
    };
    bool startFile();
    bool finishFile();
    bool needsNewChunk(uint64_t time) const;
    // Reports a record the writer refused; true when the next chunk takes it.
    bool handleRefusal();
    void reportTooManyChunks();
    std::string nameOf(size_t number) const;

    const EditSettings& settings;
    flow::CaptureFormat format;
    std::string portType;
    std::string portId;
    cli::RunReport& report;
    std::unique_ptr<flow::TesterFile> file;
    Pending current;
    std::vector<Pending> written;  // complete, not yet renamed
    // The file each output name leads to (SafeOutput::targetKey), with the name: two names
    // that lead to one file would leave it holding only the later one.
    std::map<std::string, std::string> targets;
    uint64_t totalRecords = 0;
    uint32_t chunkRecords = 0;
    uint32_t lastSeconds = 0;
    uint32_t lastNanoseconds = 0;
    uint32_t firstSeconds = 0;
    uint32_t firstNanoseconds = 0;
    bool sizeLimitStop = false;
};
