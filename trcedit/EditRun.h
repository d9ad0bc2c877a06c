// The run of trcedit: opens the inputs, takes their records in file order or in time order,
// keeps those of the time window and the position range, and writes them into one file or a
// series of chunks that appear only when the whole run has succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/FormatRecords.h"
#include "cli/RunReport.h"
#include "trcedit/ChunkedOutput.h"
#include "trcedit/EditSettings.h"

class EditRun {
  public:
    explicit EditRun(const EditSettings& settings);
    ~EditRun();
    EditRun(const EditRun&) = delete;
    EditRun& operator=(const EditRun&) = delete;

    bool openAllInputs();
    bool prepareOutput();
    // Writes the selected records; count is how many, files how many files hold them.
    bool editRecords(uint64_t& count, size_t& files);
    void cleanUp();

    int interruptedBy() const { return report.stoppedBy(); }

  private:
    enum class Pass { kDone, kFailed, kAgain };
    // One pass over the selected records; kAgain when a time-ordered merge found an input out
    // of order and must run again with that input indexed.
    Pass writeSelected(std::vector<bool>& indexed);
    // Applies the time window and the position range; true to write the record.
    bool selected(const CXcfCaptureRecord& record);

    const EditSettings& settings;
    cli::RunReport report;
    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> readers;
    cli::CaptureFormat outputFormat = cli::CaptureFormat::kB3;
    std::string portType;
    std::string portId;
    std::unique_ptr<ChunkedOutput> output;
    std::vector<bool> warned;
    // Records per copied run.
    static constexpr uint32_t kMaxRun = 65536;
    uint64_t kept = 0;     // records inside the time window so far
    uint64_t written = 0;  // of those, written
};
