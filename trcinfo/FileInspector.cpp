#include "trcinfo/FileInspector.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"
#include "flow/FileOrderSource.h"
#include "flow/RecordPump.h"
#include "flow/RecordSink.h"
#include "record/ByteOrder.h"

namespace {

// Whether the file starts as a pcapng file does: a section header block, with the byte-order
// magic in either order. trc2pcap writes them, so users hand them to trcinfo.
bool isPcapng(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    uint8_t bytes[12] = {};
    if (!file.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
        return false;
    }
    const uint32_t byteOrderMagic = xcf::load32(bytes + 8);
    return xcf::load32(bytes) == 0x0A0D0D0Au &&
           (byteOrderMagic == 0x1A2B3C4Du || byteOrderMagic == 0x4D3C2B1Au);
}

// Where a pass over the records stopped: a record inside the count that cannot be read means
// the file is damaged, even where the reader found no more precise reason.
ReadStop stopAt(const CXcfCaptureFileParser& parser, uint32_t number) {
    ReadStop stop;
    stop.fileName = parser.getFileName();
    stop.record = number;
    stop.total = parser.numberOfRecords;
    stop.code = parser.lastErrorCode != CXcfCaptureFileCommon::kErrorNone
                    ? parser.lastErrorCode
                    : CXcfCaptureFileCommon::kErrorCorruptFile;
    stop.detail = parser.lastErrorDetail();
    return stop;
}

// Hands each record of a pass, with its number, to a visit; false from the visit ends the pass.
class RecordVisit : public flow::RecordSink {
  public:
    RecordVisit(CXcfCaptureFileParser& parser, const FileInspector::Visit& visit,
                const FileInspector::RunVisit& runVisit)
        : parser(parser), visit(visit), runVisit(runVisit) {}
    bool take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) override {
        // A code left by one read must not be taken for the cause of a later failure.
        parser.lastErrorCode = CXcfCaptureFileCommon::kErrorNone;
        return visit(origin.number, record);
    }
    uint64_t runBytes(flow::CaptureFormat input) const override {
        return runVisit && input != flow::CaptureFormat::kOther ? flow::kLoadedRunBytes : 0;
    }
    uint32_t takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) override {
        stop = false;
        // What does not load comes again one by one, where its failure is found and said.
        const uint32_t loaded = run.load(0, run.count());
        for (uint32_t i = 0; i < loaded; ++i) {
            runVisit(origin.number + i, run.view(i));
        }
        return loaded;
    }

  private:
    CXcfCaptureFileParser& parser;
    const FileInspector::Visit& visit;
    const FileInspector::RunVisit& runVisit;
};

}  // namespace

bool FileInspector::visitRecords(CXcfCaptureFileParser& parser, uint32_t first, uint32_t last,
                                 ReadStop& stop, const Visit& visit, const RunVisit& runVisit,
                                 const char* progress) {
    auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(&parser);
    last = std::min(last, parser.numberOfRecords);
    if (family == nullptr || first == 0 || first > last) {
        return true;
    }
    bool damaged = false;
    flow::FileOrderSource source(*family, first);
    source.reportDamageWith(
        [&stop, &damaged](const CXcfPmCaptureFileParser& reader, uint32_t record) {
            stop = stopAt(reader, record);
            damaged = true;
        });
    RecordVisit sink(parser, visit, runVisit);
    flow::RecordPump pump(source, sink);
    pump.limitTo(uint64_t{last} - first + 1);
    if (progress != nullptr) {
        pump.showProgress(progress, uint64_t{last} - first + 1);
    }
    parser.lastErrorCode = CXcfCaptureFileCommon::kErrorNone;
    pump.run();
    return !damaged;
}

FileInspector::FileInspector(const InfoSettings& settings, InfoPresenter& presenter)
    : settings(settings), presenter(presenter) {}

bool FileInspector::inspect(const std::string& fileName) {
    const std::string refusal = cli::inputRefusal(fileName);
    if (!refusal.empty()) {
        presenter.openFailure(fileName, refusal, CXcfCaptureFileCommon::kErrorFileNotFound, {});
        return false;
    }
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(fileName);
    if (!parser) {
        reportOpenFailure(factory, fileName);
        return false;
    }
    presenter.beginFile(*parser);
    if (settings.showTables) {
        presenter.tables(*parser);
    }
    if (settings.showStatistics) {
        showStatistics(*parser);
    }
    if (settings.listRecords) {
        listRecords(*parser);
    }
    presenter.endFile();
    parser->close();
    return true;
}

void FileInspector::reportOpenFailure(CXcfCaptureFileParserFactory& factory,
                                      const std::string& fileName) {
    const int32_t factoryCode = factory.lastErrorCode;
    if (factory.openOutcome() == CXcfCaptureFileCommon::OpenOutcome::kNotThisFormat &&
        isPcapng(fileName)) {
        presenter.openFailure(fileName,
                              "it is a pcapng file; trcinfo reads pcap (tcpdump), B3 and B4 files",
                              factoryCode, {});
        return;
    }
    const std::string reason = cli::openFailureReason(factory, settings.fileNames.size());
    std::vector<std::string> moreReasons;
    // The factory keeps the refusal of the last reader it tried, the tcpdump one. When a
    // tester-family reader recognised the file and refused it for another reason (a header
    // cut short, say), that reason is what the user needs.
    for (const CXcfCaptureFileParserFactory::Refusal& refusal : factory.refusals()) {
        std::string name;
        if (CXcfCaptureFileCommon::outcomeOfCode(refusal.code) !=
                CXcfCaptureFileCommon::OpenOutcome::kNotThisFormat &&
            refusal.code != factoryCode && factory.formatName(refusal.formatType, name)) {
            moreReasons.push_back("As a " + name + " file: " + xcf::errorText(refusal.code));
        }
    }
    presenter.openFailure(fileName, reason, factoryCode, moreReasons);
}

bool FileInspector::gatherStatistics(CXcfCaptureFileParser& parser, CaptureStatistics& stats,
                                     ReadStop& stop) {
    return gatherStatistics(parser, 1, parser.numberOfRecords, stats, stop);
}

bool FileInspector::gatherStatistics(CXcfCaptureFileParser& parser, uint32_t first, uint32_t last,
                                     CaptureStatistics& stats, ReadStop& stop) {
    return visitRecords(
        parser, first, last, stop,
        [&stats](uint32_t, const CXcfCaptureRecord& record) {
            stats.add(record);
            return true;
        },
        [&stats](uint32_t, const xcf::RunRecord& record) { stats.add(record); });
}

void FileInspector::showStatistics(CXcfCaptureFileParser& parser) {
    if (dynamic_cast<CXcfPmCaptureFileParser*>(&parser) == nullptr) {
        presenter.recordsNotRead(parser.getFormatCode(), true);
        return;
    }
    // The same records as the listing: -start and -num select them.
    const uint32_t total = parser.numberOfRecords;
    const uint32_t first = settings.startRecord;
    if (total != 0 && first > total) {
        presenter.statisticsBeyondTheEnd(parser, first, total);
        return;
    }
    CaptureStatistics stats;
    ReadStop stop;
    const bool complete = gatherStatistics(parser, first, lastSelected(total), stats, stop);
    presenter.statistics(parser, stats, first, complete ? nullptr : &stop);
}

uint32_t FileInspector::lastSelected(uint32_t total) const {
    // 64 bits: a start near the top of the range plus a count must not wrap.
    if (settings.recordCount == 0) {
        return total;
    }
    return static_cast<uint32_t>(
        std::min<uint64_t>(total, uint64_t{settings.startRecord} + settings.recordCount - 1));
}

void FileInspector::listRecords(CXcfCaptureFileParser& parser) {
    const std::string code = parser.getFormatCode();
    if (dynamic_cast<CXcfPmCaptureFileParser*>(&parser) == nullptr) {
        presenter.recordsNotRead(code, false);
        return;
    }
    const uint32_t total = parser.numberOfRecords;
    const uint32_t first = settings.startRecord;
    if (total == 0) {
        presenter.recordsNone();
        return;
    }
    if (first > total) {
        presenter.startBeyondTheEnd(first, total);
        return;
    }
    const uint32_t last = lastSelected(total);
    presenter.beginRecords(first, last, total);
    // Nobody reads on once the console has gone (a pager that quit).
    ReadStop stop;
    if (!visitRecords(parser, first, last, stop,
                      [this](uint32_t number, const CXcfCaptureRecord& record) {
                          presenter.record(number, record);
                          return consoleIsOpen();
                      })) {
        presenter.endRecords(&stop);
        return;
    }
    presenter.endRecords(nullptr);
}
