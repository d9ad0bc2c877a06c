// The run of trcedit: opens the inputs, takes their records in file order or in time order,
// keeps those of the time window and the position range, and writes them into one file or a
// series of chunks that appear only when the whole run has succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/RunReport.h"
#include "trcedit/ChunkedOutput.h"
#include "trcedit/DuplicateWindow.h"
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
    // Records -dedup dropped.
    uint64_t duplicatesDropped() const { return duplicates ? duplicates->dropped() : 0; }

  private:
    const EditSettings& settings;
    cli::RunReport report;
    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> readers;
    flow::CaptureFormat outputFormat = flow::CaptureFormat::kB3;
    std::string portType;
    std::string portId;
    std::unique_ptr<ChunkedOutput> output;
    std::unique_ptr<DuplicateWindow> duplicates;
};
