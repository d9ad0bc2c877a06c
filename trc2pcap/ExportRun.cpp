#include "trc2pcap/ExportRun.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "capfile/common/RecordLayout.h"
#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Progress.h"
#include "cli/Signals.h"

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000;
constexpr uint8_t kPortNumberMask = 0x7F;

// The link types of the tester's layer-2 type codes 0, 1 and 2.
constexpr uint32_t kLinkTypes[] = {CXcfPacketFileWriter::kLinkTypePppHdlc,
                                   CXcfPacketFileWriter::kLinkTypeCiscoHdlc,
                                   CXcfPacketFileWriter::kLinkTypeEthernet};

std::string linkTypeText(uint32_t linkType) {
    switch (linkType) {
        case CXcfPacketFileWriter::kLinkTypeEthernet:
            return "1 (Ethernet)";
        case CXcfPacketFileWriter::kLinkTypePppHdlc:
            return "50 (PPP in HDLC framing)";
        case CXcfPacketFileWriter::kLinkTypeCiscoHdlc:
            return "104 (Cisco HDLC)";
        default:
            return std::to_string(linkType);
    }
}

std::string systemErrorText(int error) {
    return error != 0 ? std::string(" (") + std::strerror(error) + ")" : std::string();
}

}  // namespace

ExportRun::ExportRun(const ExportSettings& settings)
    : settings(settings), report(settings.outputFileName) {}

ExportRun::~ExportRun() {
    cleanUp();
}

bool ExportRun::openAllInputs() {
    return cli::openTesterInputs(settings.inputFileNames, report, readers);
}

bool ExportRun::prepareOutput() {
    const std::string& name = settings.outputFileName;
    std::string reason;
    if (!output.prepare(name, reason)) {
        report.error("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    for (const std::string& input : settings.inputFileNames) {
        std::error_code ignored;
        if (std::filesystem::equivalent(output.target(), input, ignored)) {
            report.error("openOutputFile", "Failed to open file: '" + name +
                                               "'\nbecause: it would overwrite the input file '" +
                                               input + "'");
            return false;
        }
    }
    return true;
}

bool ExportRun::openWriter(uint32_t firstLinkType) {
    if (settings.format == ExportFormat::kPcap) {
        pcap = std::make_unique<CXcfPcapFileWriter>(firstLinkType, settings.microseconds);
        writer = pcap.get();
    } else {
        pcapng =
            std::make_unique<CXcfPcapngFileWriter>(std::string("trc2pcap ") + SPLICETRC_VERSION);
        writer = pcapng.get();
    }
    writer->setCreateExclusively(true);
    std::string reason;
    const bool created = output.createTemporary(
        [this](const std::string& temporaryName) {
            if (writer->open(temporaryName)) {
                return 0;
            }
            return writer->systemError() != 0 ? writer->systemError() : EIO;
        },
        reason);
    if (!created) {
        report.error("openOutputFile",
                     "Failed to open file: '" + settings.outputFileName + "'\nbecause: " + reason);
        writer = nullptr;
    }
    return created;
}

bool ExportRun::linkTypeOf(const CXcfCaptureRecord& record, const cli::RecordSequence& sequence,
                           uint32_t& linkType) {
    if (settings.linkTypeGiven) {
        linkType = settings.linkType;
        return true;
    }
    const uint8_t code = record.getLayer2Type();
    if (code < std::size(kLinkTypes)) {
        linkType = kLinkTypes[code];
        return true;
    }
    report.error("exportRecords", "Record " + std::to_string(sequence.recordNumber()) + " of '" +
                                      sequence.reader().getFileName() +
                                      "' has the layer-2 type code " + std::to_string(code) +
                                      ", which names no link type; give '-linktype N' to use "
                                      "link type N for every record.");
    return false;
}

uint32_t ExportRun::interfaceFor(const CXcfCaptureRecord& record,
                                 const cli::RecordSequence& sequence, uint32_t linkType) {
    const uint32_t port = record.getPortByte() & kPortNumberMask;
    const auto key = std::make_tuple(sequence.inputIndex(), port, linkType);
    // Records of one port usually come in runs.
    if (lastInterface != interfaces.end() && lastInterface->first == key) {
        return lastInterface->second;
    }
    const auto found = interfaces.find(key);
    if (found != interfaces.end()) {
        lastInterface = found;
        return found->second;
    }
    std::string name = sequence.reader().getSourceName(port);
    if (name.empty()) {
        name = "port " + std::to_string(port);
    }
    const uint32_t id = pcapng->addInterface(linkType, name);
    lastInterface = interfaces.emplace(key, id).first;
    return id;
}

bool ExportRun::writeRecord(const CXcfCaptureRecord& record, const cli::RecordSequence& sequence,
                            uint32_t linkType) {
    const uint64_t time = uint64_t{record.getTimestampSeconds()} * kNanosecondsPerSecond +
                          record.getTimestampNanoseconds();
    const uint32_t captured = record.getFrameStoredLength();
    // Never fewer bytes on the wire than kept.
    const uint32_t original = std::max(record.getFrameLength(), captured);
    if (pcap) {
        if (linkType != pcap->linkType()) {
            report.error("exportRecords",
                         "Record " + std::to_string(sequence.recordNumber()) + " of '" +
                             sequence.reader().getFileName() + "' has link type " +
                             linkTypeText(linkType) + ", but the pcap file holds link type " +
                             linkTypeText(pcap->linkType()) +
                             " of its first record; a pcap file holds one link type: use "
                             "'-format pcapng'.");
            return false;
        }
        return pcap->writePacket(time, original, captured, record.getFrame());
    }
    const bool damaged = (record.getPortByte() & xcf::layout::kDamagedFrameBit) != 0;
    static const std::string kDamaged = "damaged frame";
    static const std::string kNone;
    return pcapng->writePacket(interfaceFor(record, sequence, linkType), time, original, captured,
                               record.getFrame(), damaged ? kDamaged : kNone);
}

bool ExportRun::exportRecords(uint64_t& count) {
    count = 0;
    uint64_t total = 0;
    for (const auto& reader : readers) {
        total += reader->numberOfRecords;
    }
    cli::Progress progress("trc2pcap", total);
    cli::RecordSequence sequence(readers);
    uint64_t seen = 0;
    while (settings.recordLimit == 0 || count < settings.recordLimit) {
        if (cli::stopSignal() != 0) {
            break;
        }
        const CXcfCaptureRecord* record = sequence.next();
        if (record == nullptr) {
            break;
        }
        if (++seen < settings.startRecord) {
            continue;
        }
        uint32_t linkType = 0;
        if (!linkTypeOf(*record, sequence, linkType) || (!writer && !openWriter(linkType)) ||
            !writeRecord(*record, sequence, linkType)) {
            if (writer && writer->hasFailed()) {
                report.error("exportRecords", "Failed to write file: '" + settings.outputFileName +
                                                  "'\nbecause: " + writer->errorMessage() +
                                                  systemErrorText(writer->systemError()));
            }
            return false;
        }
        ++count;
        progress.update(seen, writer->bytesWritten());
    }
    progress.finish();
    if (report.stopRequested("exportRecords")) {
        return false;
    }
    if (count == 0) {
        report.error("exportRecords",
                     "No record was exported (the inputs hold " + std::to_string(total) +
                         " records, -start was " + std::to_string(settings.startRecord) +
                         "); the output file '" + settings.outputFileName + "' was not written.");
        return false;
    }
    const std::string& name = settings.outputFileName;
    if (!writer->close()) {
        report.error("exportRecords", "Failed to write file: '" + name +
                                          "'\nbecause: " + writer->errorMessage() +
                                          systemErrorText(writer->systemError()));
        return false;
    }
    std::string reason;
    if (report.stopRequested("exportRecords")) {
        return false;
    }
    if (!output.commit(reason)) {
        report.error("exportRecords", "Failed to write file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    return true;
}

void ExportRun::cleanUp() {
    for (auto& reader : readers) {
        reader->close();
    }
    if (writer && !output.isCommitted()) {
        writer->discard();
    }
    writer = nullptr;
    pcap.reset();
    pcapng.reset();
}
