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
#include "cli/RunReport.h"
#include "cli/SafeOutput.h"
#include "flow/RecordSink.h"
#include "trc2pcap/ExportSettings.h"

// The run is the sink of its own records: the pump hands it records and runs, and it turns
// them into packets.
class ExportRun : public flow::RecordSink {
  public:
    explicit ExportRun(const ExportSettings& settings);
    ~ExportRun() override;
    ExportRun(const ExportRun&) = delete;
    ExportRun& operator=(const ExportRun&) = delete;

    // The steps, in this order, each only after the one before succeeded; cleanUp always.
    bool openAllInputs();
    bool prepareOutput();
    bool exportRecords(uint64_t& count);
    void cleanUp();

    // Whether records may go from their bytes in runs (the default); the packets are the same
    // either way.
    void useRuns(bool enabled) { runs = enabled; }

    // The stop signal that ended the run early, 0 when none did.
    int interruptedBy() const { return report.stoppedBy(); }

    bool take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) override;
    uint64_t runBytes(flow::CaptureFormat input) const override;
    uint32_t takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) override;
    uint64_t bytesWritten() const override { return writer ? writer->bytesWritten() : 0; }

  private:
    // What the export takes of a record, from a record object or straight from its bytes.
    struct Packet {
        uint64_t time = 0;  // nanoseconds since the epoch
        uint8_t portByte = 0;
        uint8_t layer2Type = 0;
        const uint8_t* frame = nullptr;
        uint32_t capturedLength = 0;
        uint32_t originalLength = 0;
    };
    static Packet packetOf(const CXcfCaptureRecord& record);

    // The link type of a packet: -linktype, or the one of its layer-2 type code; false for a
    // code without one.
    bool linkTypeOf(const Packet& packet, uint32_t& linkType) const;
    // Whether the output can hold the packet's time (pcap seconds are 32 bits).
    bool timeFits(const Packet& packet) const;
    // Creates the writer on a fresh temporary file; the first record's link type fixes a pcap
    // file's.
    bool openWriter(uint32_t firstLinkType);
    bool writePacket(const Packet& packet, const flow::RecordOrigin& origin, uint32_t linkType);
    uint32_t interfaceFor(const Packet& packet, const flow::RecordOrigin& origin,
                          uint32_t linkType);
    // pcapng interfaces for every port that an input's source name table names.
    void declareNamedPorts(uint32_t linkType);
    // "the output file 'NAME'", or "standard output".
    std::string outputText() const;
    void reportWriteFailure();

    const ExportSettings& settings;
    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> readers;
    cli::SafeOutput output;
    std::unique_ptr<CXcfPcapFileWriter> pcap;
    std::unique_ptr<CXcfPcapngFileWriter> pcapng;
    bool runs = true;
    CXcfPacketFileWriter* writer = nullptr;
    // pcapng interfaces by (input, port number, link type), in order of first use.
    using InterfaceKey = std::tuple<size_t, uint32_t, uint32_t>;
    std::map<InterfaceKey, uint32_t> interfaces;
    std::map<InterfaceKey, uint32_t>::const_iterator lastInterface = interfaces.end();
    uint32_t addInterface(const InterfaceKey& key, const std::string& sourceName);
    cli::RunReport report;
};
