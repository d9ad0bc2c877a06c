#include "trc2pcap/ExportRun.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

#include <unistd.h>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/NumberText.h"
#include "cli/OutputOpener.h"
#include "cli/TextCleaning.h"
#include "flow/FileOrderSource.h"
#include "flow/FormatRecords.h"
#include "flow/RecordPump.h"

namespace {

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

}  // namespace

ExportRun::ExportRun(const ExportSettings& settings)
    : settings(settings), report(settings.outputFileName) {
    if (settings.toStandardOutput()) {
        report.writeIntoStream("standard output");
    }
}

ExportRun::~ExportRun() {
    cleanUp();
}

bool ExportRun::openAllInputs() {
    return cli::openTesterInputs(settings.inputFileNames, report, readers);
}

bool ExportRun::prepareOutput() {
    const cli::OutputOpener opener(report, settings.inputFileNames);
    if (settings.toStandardOutput()) {
        return opener.checkStandardOutput(settings.format == ExportFormat::kPcap ? "pcap data"
                                                                                 : "pcapng data");
    }
    return opener.check(output, settings.outputFileName);
}

std::string ExportRun::outputText() const {
    return settings.toStandardOutput() ? std::string("standard output")
                                       : "the output file '" + settings.outputFileName + "'";
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
    const cli::OutputOpener opener(report, settings.inputFileNames);
    bool created = false;
    if (settings.toStandardOutput()) {
        created = writer->openDescriptor(STDOUT_FILENO, "standard output");
        if (!created) {
            opener.refuse(settings.outputFileName, writer->errorMessage());
        }
    } else {
        writer->setCreateExclusively(true);
        created = opener.create(
            output, settings.outputFileName, *writer,
            [this](const std::string& temporaryName) { return writer->open(temporaryName); });
    }
    if (!created) {
        writer = nullptr;
        return false;
    }
    if (pcapng) {
        declareNamedPorts(firstLinkType);
    }
    return true;
}

void ExportRun::declareNamedPorts(uint32_t linkType) {
    // Some readers of pcapng (reordercap among them) take only interfaces declared before the
    // first packet. Ports are named up front with the link type of the first record, which
    // every record of a tester's capture usually shares; a record of another link type, or of
    // a port no table names, gets its interface where it first comes.
    for (size_t input = 0; input < readers.size(); ++input) {
        for (uint32_t port = 0; port <= kPortNumberMask; ++port) {
            const std::string name = readers[input]->getSourceName(port);
            if (!name.empty()) {
                addInterface(std::make_tuple(input, port, linkType), name);
            }
        }
    }
}

uint32_t ExportRun::addInterface(const InterfaceKey& key, const std::string& sourceName) {
    // Readers of pcapng take names as UTF-8; a source name holds whatever bytes the input has.
    std::string name = cli::validUtf8(sourceName);
    if (name.empty()) {
        name = "port " + std::to_string(std::get<1>(key));
    }
    const uint32_t id = pcapng->addInterface(std::get<2>(key), name);
    lastInterface = interfaces.emplace(key, id).first;
    return id;
}

ExportRun::Packet ExportRun::packetOf(const CXcfCaptureRecord& record) {
    Packet packet;
    packet.time = flow::recordTime(record);
    packet.portByte = record.getPortByte();
    packet.layer2Type = record.getLayer2Type();
    packet.frame = record.getFrame();
    packet.capturedLength = record.getFrameStoredLength();
    // Never fewer bytes on the wire than kept.
    packet.originalLength = std::max(record.getFrameLength(), packet.capturedLength);
    return packet;
}

bool ExportRun::linkTypeOf(const Packet& packet, uint32_t& linkType) const {
    if (settings.linkTypeGiven) {
        linkType = settings.linkType;
        return true;
    }
    if (packet.layer2Type < std::size(kLinkTypes)) {
        linkType = kLinkTypes[packet.layer2Type];
        return true;
    }
    return false;
}

bool ExportRun::timeFits(const Packet& packet) const {
    return settings.format != ExportFormat::kPcap || CXcfPcapFileWriter::holdsTime(packet.time);
}

uint32_t ExportRun::interfaceFor(const Packet& packet, const flow::RecordOrigin& origin,
                                 uint32_t linkType) {
    const uint32_t port = packet.portByte & kPortNumberMask;
    const auto key = std::make_tuple(origin.input, port, linkType);
    // Records of one port usually come in runs.
    if (lastInterface != interfaces.end() && lastInterface->first == key) {
        return lastInterface->second;
    }
    const auto found = interfaces.find(key);
    if (found != interfaces.end()) {
        lastInterface = found;
        return found->second;
    }
    return addInterface(key, origin.reader->getSourceName(port));
}

bool ExportRun::writePacket(const Packet& packet, const flow::RecordOrigin& origin,
                            uint32_t linkType) {
    if (pcap) {
        return pcap->writePacket(packet.time, packet.originalLength, packet.capturedLength,
                                 packet.frame);
    }
    const bool damaged = (packet.portByte & CXcfCaptureRecord::kDamagedFrameBit) != 0;
    static const std::string kDamaged = "damaged frame";
    static const std::string kNone;
    return pcapng->writePacket(interfaceFor(packet, origin, linkType), packet.time,
                               packet.originalLength, packet.capturedLength, packet.frame,
                               damaged ? kDamaged : kNone);
}

void ExportRun::reportWriteFailure() {
    // A reader at the other end of a pipe that has seen enough (head, tshark -c) is no
    // failure to explain; the status still says the export did not end.
    if (settings.toStandardOutput() && writer->systemError() == EPIPE) {
        return;
    }
    report.writeFailure("exportRecords", settings.outputFileName, *writer);
}

uint64_t ExportRun::runBytes(flow::CaptureFormat input) const {
    return input == flow::CaptureFormat::kOther ? 0 : flow::kLoadedRunBytes;
}

uint32_t ExportRun::takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) {
    stop = false;
    const uint32_t loaded = run.load(0, run.count());
    flow::RecordOrigin at = origin;
    static const std::string kDamaged = "damaged frame";
    static const std::string kNone;
    // The records of a run mostly share their port and layer-2 type: the link type, its
    // checks and the interface are worked out again only where these change, so that what
    // remains a record is the packet itself.
    int lastKey = -1;
    uint32_t linkType = 0;
    uint32_t interfaceId = 0;
    uint32_t done = 0;
    for (; done < loaded; ++done) {
        const xcf::RunRecord record = run.view(done);
        const int key = record.portByte << 8 | record.layer2Type;
        if (key != lastKey) {
            Packet packet;
            packet.portByte = record.portByte;
            packet.layer2Type = record.layer2Type;
            if (!linkTypeOf(packet, linkType) || (pcap && linkType != pcap->linkType())) {
                break;  // the usual path reports it
            }
            if (!writer && !openWriter(linkType)) {
                stop = true;
                break;
            }
            if (pcapng) {
                at.number = origin.number + done;
                interfaceId = interfaceFor(packet, at, linkType);
            }
            lastKey = key;
        }
        const uint64_t time = flow::recordTime(record.seconds, record.nanoseconds);
        bool written = false;
        if (pcapng) {
            const bool damaged = (record.portByte & CXcfCaptureRecord::kDamagedFrameBit) != 0;
            written = pcapng->writePacket(interfaceId, time, record.frameLength, record.frameLength,
                                          record.frame, damaged ? kDamaged : kNone);
        } else {
            if (!CXcfPcapFileWriter::holdsTime(time)) {
                break;  // the usual path reports it
            }
            written = pcap->writePacket(time, record.frameLength, record.frameLength, record.frame);
        }
        if (!written) {
            reportWriteFailure();
            stop = true;
            break;
        }
    }
    return done;
}

bool ExportRun::take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) {
    const Packet packet = packetOf(record);
    const std::string where =
        "Record " + std::to_string(origin.number) + " of '" + origin.reader->getFileName() + "'";
    uint32_t linkType = 0;
    if (!linkTypeOf(packet, linkType)) {
        report.error("exportRecords",
                     where + " has the layer-2 type code " + std::to_string(packet.layer2Type) +
                         ", which names no link type; give '-linktype N' to use link type N "
                         "for every record.");
        return false;
    }
    if (!timeFits(packet)) {
        report.error("exportRecords",
                     where + " has the time " + cli::secondsText(packet.time) + " (seconds " +
                         std::to_string(record.getTimestampSeconds()) + ", nanoseconds " +
                         std::to_string(record.getTimestampNanoseconds()) +
                         "), past the 32-bit seconds of a pcap file (the year 2106): use "
                         "'-format pcapng'.");
        return false;
    }
    if (!writer && !openWriter(linkType)) {
        return false;
    }
    if (pcap && linkType != pcap->linkType()) {
        report.error("exportRecords", where + " has link type " + linkTypeText(linkType) +
                                          ", but the pcap file holds link type " +
                                          linkTypeText(pcap->linkType()) +
                                          " of its first record; a pcap file holds one link "
                                          "type: use '-format pcapng'.");
        return false;
    }
    if (!writePacket(packet, origin, linkType)) {
        reportWriteFailure();
        return false;
    }
    return true;
}

bool ExportRun::exportRecords(uint64_t& count) {
    count = 0;
    uint64_t total = 0;
    for (const auto& reader : readers) {
        total += reader->numberOfRecords;
    }
    flow::FileOrderSource source(readers);
    flow::RecordPump pump(source, *this);
    pump.startAt(settings.startRecord);
    pump.limitTo(settings.recordLimit);
    pump.useRuns(runs);
    if (!settings.toStandardOutput()) {
        pump.showProgress("trc2pcap", total);
    }
    const flow::RecordPump::End end = pump.run();
    count = pump.taken();
    if (end == flow::RecordPump::End::kSinkStopped) {
        return false;
    }
    if (report.stopRequested("exportRecords")) {
        return false;
    }
    if (count == 0) {
        report.error("exportRecords", "No record was exported (the inputs hold " +
                                          std::to_string(total) + " records, -start was " +
                                          std::to_string(settings.startRecord) + "); " +
                                          outputText() + " was not written.");
        return false;
    }
    const std::string& name = settings.outputFileName;
    if (!writer->close()) {
        reportWriteFailure();
        return false;
    }
    std::string reason;
    if (report.stopRequested("exportRecords")) {
        return false;
    }
    if (!settings.toStandardOutput() && !output.commit(reason)) {
        report.error("exportRecords", "Failed to write file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    if (writer->cutPackets() != 0) {
        const uint64_t cut = writer->cutPackets();
        const std::string limit = std::to_string(CXcfPacketFileWriter::kMaxCapturedLength);
        printLine("WARNING (exportRecords) - Cut " + std::to_string(cut) +
                  (cut == 1 ? " packet longer than " + limit + " bytes to its first "
                            : " packets longer than " + limit + " bytes to their first ") +
                  limit + " bytes, the most that pcap and pcapng readers take; " +
                  (cut == 1 ? "its original length is" : "their original lengths are") + " kept.");
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
