#include "trc2pcap/ExportRun.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "capfile/common/RecordLayout.h"
#include "cli/Console.h"
#include "cli/FormatRecords.h"
#include "cli/InputFiles.h"
#include "cli/Progress.h"
#include "cli/Signals.h"
#include "cli/TextCleaning.h"
#include "record/ByteOrder.h"

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

// "4294967299.294967295"
std::string timeText(uint64_t nanoseconds) {
    std::string fraction = std::to_string(nanoseconds % 1000000000);
    fraction.insert(0, 9 - fraction.size(), '0');
    return std::to_string(nanoseconds / 1000000000) + "." + fraction;
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
    if (!output.sparesInputs(settings.inputFileNames, reason)) {
        report.error("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        return false;
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

ExportRun::Packet ExportRun::packetOf(const CXcfCaptureRecord& record) {
    Packet packet;
    packet.time = cli::recordTime(record);
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

uint32_t ExportRun::interfaceFor(const Packet& packet, const cli::RecordSequence& sequence,
                                 uint32_t linkType) {
    const uint32_t port = packet.portByte & kPortNumberMask;
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
    // Readers of pcapng take names as UTF-8; a source name holds whatever bytes the input has.
    std::string name = cli::validUtf8(sequence.reader().getSourceName(port));
    if (name.empty()) {
        name = "port " + std::to_string(port);
    }
    const uint32_t id = pcapng->addInterface(linkType, name);
    lastInterface = interfaces.emplace(key, id).first;
    return id;
}

bool ExportRun::writePacket(const Packet& packet, const cli::RecordSequence& sequence,
                            uint32_t linkType) {
    if (pcap) {
        return pcap->writePacket(packet.time, packet.originalLength, packet.capturedLength,
                                 packet.frame);
    }
    const bool damaged = (packet.portByte & xcf::layout::kDamagedFrameBit) != 0;
    static const std::string kDamaged = "damaged frame";
    static const std::string kNone;
    return pcapng->writePacket(interfaceFor(packet, sequence, linkType), packet.time,
                               packet.originalLength, packet.capturedLength, packet.frame,
                               damaged ? kDamaged : kNone);
}

void ExportRun::reportWriteFailure() {
    report.writeFailure("exportRecords", settings.outputFileName, *writer);
}

uint32_t ExportRun::exportRun(const cli::RecordSequence& sequence,
                              const std::vector<uint32_t>& offsets, uint32_t count, bool& failed) {
    failed = false;
    // Grown only: resizing down and up again would clear the bytes each run.
    const size_t want = offsets[count] - offsets[0];
    if (runBytes.size() < want) {
        runBytes.resize(want);
    }
    const size_t got = sequence.reader().inputFile().readAt(offsets[0], runBytes.data(), want);
    const bool b4 = sequence.format() == cli::CaptureFormat::kB4;
    const uint32_t fields =
        b4 ? xcf::layout::kB4WrittenFieldsSize : xcf::layout::kB3WrittenFieldsSize;
    uint32_t done = 0;
    for (; done < count && uint64_t{offsets[done + 1]} - offsets[0] <= got; ++done) {
        const uint8_t* bytes = runBytes.data() + (offsets[done] - offsets[0]);
        Packet packet;
        packet.time = cli::recordTime(xcf::load32(bytes), xcf::load32(bytes + 4));
        packet.portByte = b4 ? bytes[xcf::layout::kB4PortOffset] : 0;
        packet.layer2Type =
            b4 ? bytes[xcf::layout::kB4Layer2Offset] : bytes[xcf::layout::kB3Layer2Offset];
        packet.frame = bytes + fields;
        packet.capturedLength = offsets[done + 1] - offsets[done] - fields;
        packet.originalLength = packet.capturedLength;
        uint32_t linkType = 0;
        if (!linkTypeOf(packet, linkType) || (pcap && linkType != pcap->linkType()) ||
            !timeFits(packet)) {
            break;  // the usual path reports it
        }
        if (!writer && !openWriter(linkType)) {
            failed = true;
            break;
        }
        if (!writePacket(packet, sequence, linkType)) {
            reportWriteFailure();
            failed = true;
            break;
        }
    }
    return done;
}

bool ExportRun::exportRecords(uint64_t& count) {
    count = 0;
    uint64_t total = 0;
    for (const auto& reader : readers) {
        total += reader->numberOfRecords;
    }
    cli::Progress progress("trc2pcap", total);
    cli::RecordSequence sequence(readers);
    std::vector<uint32_t> offsets;
    uint64_t seen = 0;
    bool oneByOne = false;  // the next record goes the usual way
    while (settings.recordLimit == 0 || count < settings.recordLimit) {
        if (cli::stopSignal() != 0) {
            break;
        }
        // Records laid out as the writers lay them out are taken in runs, straight from their
        // bytes; those before the start are only counted.
        if (!oneByOne) {
            const uint64_t skip =
                settings.startRecord > seen + 1 ? settings.startRecord - seen - 1 : 0;
            const uint64_t left =
                settings.recordLimit == 0 ? kMaxRun : settings.recordLimit - count;
            const uint32_t run = sequence.nextRawRun(
                static_cast<uint32_t>(std::min<uint64_t>(skip != 0 ? skip : left, kMaxRun)),
                kRunBytes, offsets);
            if (run > 0 && skip != 0) {
                seen += run;
                continue;
            }
            if (run > 0) {
                bool failed = false;
                const uint32_t done = exportRun(sequence, offsets, run, failed);
                seen += done;
                count += done;
                if (failed) {
                    return false;
                }
                if (done < run) {
                    sequence.giveBack(run - done);
                    oneByOne = true;
                }
                progress.update(seen, writer ? writer->bytesWritten() : 0);
                continue;
            }
        }
        oneByOne = false;
        const CXcfCaptureRecord* record = sequence.next();
        if (record == nullptr) {
            break;
        }
        if (++seen < settings.startRecord) {
            continue;
        }
        const Packet packet = packetOf(*record);
        uint32_t linkType = 0;
        if (!linkTypeOf(packet, linkType)) {
            report.error("exportRecords",
                         "Record " + std::to_string(sequence.recordNumber()) + " of '" +
                             sequence.reader().getFileName() + "' has the layer-2 type code " +
                             std::to_string(packet.layer2Type) +
                             ", which names no link type; give '-linktype N' to use link type N "
                             "for every record.");
            return false;
        }
        if (!timeFits(packet)) {
            report.error("exportRecords",
                         "Record " + std::to_string(sequence.recordNumber()) + " of '" +
                             sequence.reader().getFileName() + "' has the time " +
                             timeText(packet.time) + " (seconds " +
                             std::to_string(record->getTimestampSeconds()) + ", nanoseconds " +
                             std::to_string(record->getTimestampNanoseconds()) +
                             "), past the 32-bit seconds of a pcap file (the year 2106): use "
                             "'-format pcapng'.");
            return false;
        }
        if (!writer && !openWriter(linkType)) {
            return false;
        }
        if (pcap && linkType != pcap->linkType()) {
            report.error("exportRecords",
                         "Record " + std::to_string(sequence.recordNumber()) + " of '" +
                             sequence.reader().getFileName() + "' has link type " +
                             linkTypeText(linkType) + ", but the pcap file holds link type " +
                             linkTypeText(pcap->linkType()) +
                             " of its first record; a pcap file holds one link type: use "
                             "'-format pcapng'.");
            return false;
        }
        if (!writePacket(packet, sequence, linkType)) {
            reportWriteFailure();
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
        reportWriteFailure();
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
