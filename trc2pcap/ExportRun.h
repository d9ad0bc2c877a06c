// The conversion of trc2pcap: opens the B3/B4 inputs, takes their records input after input,
// selects them by position, and writes them into one pcap or pcapng file that appears under
// its name only when it is complete.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "capfile/write/CXcfPcapFileWriter.h"
#include "capfile/write/CXcfPcapngFileWriter.h"
#include "cli/RecordSequence.h"
#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "trc2pcap/ExportSettings.h"

class ExportRun {
  public:
    explicit ExportRun(const ExportSettings& settings);
    ~ExportRun();
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    // The steps, in this order, each only after the one before succeeded; cleanUp always.
    bool openAllInputs();
    bool prepareOutput();
    bool exportRecords(uint64_t& count);
    void cleanUp();

    // The stop signal that ended the run early, 0 when none did.
    int interruptedBy() const { return report.stoppedBy(); }

  private:
    // The link type of a record: -linktype, or the one of its layer-2 type code. False, after
    // reporting it, for a code without a link type.
    bool linkTypeOf(const CXcfCaptureRecord& record, const cli::RecordSequence& sequence,
                    uint32_t& linkType);
    // Creates the writer on a fresh temporary file; the first record's link type fixes a pcap
    // file's.
    bool openWriter(uint32_t firstLinkType);
    bool writeRecord(const CXcfCaptureRecord& record, const cli::RecordSequence& sequence,
                     uint32_t linkType);
    uint32_t interfaceFor(const CXcfCaptureRecord& record, const cli::RecordSequence& sequence,
                          uint32_t linkType);

    const ExportSettings& settings;
    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> readers;
    cli::SafeOutput output;
    std::unique_ptr<CXcfPcapFileWriter> pcap;
    std::unique_ptr<CXcfPcapngFileWriter> pcapng;
    CXcfPacketFileWriter* writer = nullptr;
    // pcapng interfaces by (input, port number, link type), in order of first use.
    using InterfaceKey = std::tuple<size_t, uint32_t, uint32_t>;
    std::map<InterfaceKey, uint32_t> interfaces;
    std::map<InterfaceKey, uint32_t>::const_iterator lastInterface = interfaces.end();
    cli::RunReport report;
};
