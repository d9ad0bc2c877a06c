// The append driver: opens the inputs and the output, pumps the records of the inputs, one
// after another, into the output, and closes everything. Only this class and main print.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "flow/TesterFile.h"
#include "splicetrc/RunSettings.h"

class AppendRun {
  public:
    explicit AppendRun(const RunSettings& settings);
    ~AppendRun();
    AppendRun(const AppendRun&) = delete;
    AppendRun& operator=(const AppendRun&) = delete;

    // The four steps of a run, called in this order, each only after the one before
    // succeeded, except the clean-up which runs on every path.
    bool openAllInputs();
    bool openOutputFile();
    bool convertRecords(uint32_t& count);
    void closeAllInputs();
    void cleanUp();

    // Largest output file the writer may produce; 0 keeps the format's own limit. Lets tests
    // reach the limit without writing gigabytes.
    void setOutputSizeLimit(uint64_t bytes) { outputSizeLimit = bytes; }
    // Whether records whose bytes are the output's own are copied in runs (the default) or
    // read and written one by one; the output is the same either way.
    void setBulkCopy(bool enabled) { bulkCopy = enabled; }

    // The stop signal that ended the run early, 0 when none did.
    int interruptedBy() const { return report.stoppedBy(); }

    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> readers;
    std::string outputFormat = "B3";
    std::string portType;
    std::string portId;

  private:
    const RunSettings& settings;
    // Written under a temporary name; the output name gets the file only when it is complete.
    cli::SafeOutput output;
    std::unique_ptr<flow::TesterFile> file;
    uint64_t outputSizeLimit = 0;
    bool bulkCopy = true;
    cli::RunReport report;
};
