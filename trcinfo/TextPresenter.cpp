#include "trcinfo/TextPresenter.h"

#include <algorithm>
#include <cstdio>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"
#include "cli/TextCleaning.h"

namespace {

// Everything but the record lines goes through here: file names, descriptions, header
// strings and source names are the file's or the user's bytes, and a control byte among them
// would reach the terminal.
void printText(const std::string& text) {
    printLine(cli::visibleText(text, true));
}

// Prints a block of text followed by exactly one empty line, whatever line ends it has.
// visible: the text was made visible already, part by part.
void printBlock(std::string text, bool visible = false) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    if (visible) {
        printLine(text);
    } else {
        printText(text);
    }
    printLine("");
}

// "Label              : " as the header report aligns its labels.
std::string label(const std::string& name) {
    std::string text = name;
    text.resize(std::max<size_t>(text.size(), 19), ' ');
    return text + ": ";
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string share(uint64_t part, uint64_t whole) {
    return fixed(whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole, 2) + " %";
}

}  // namespace

std::string ReadStop::warning() const {
    return "WARNING (listRecords) - Stopped reading file: '" + fileName + "' at record " +
           std::to_string(record) + " of " + std::to_string(total) +
           "; the records after it were not listed.\nbecause: " + xcf::errorText(code) +
           (detail.empty() ? std::string() : ": " + detail);
}

std::string statisticsBeyondTheEndWarning(uint32_t start, uint32_t total) {
    return "WARNING (showStatistics) - Requested first record " + std::to_string(start) + " > " +
           std::to_string(total) +
           ", the total number of records in the source file; no statistics were computed.";
}

void TextPresenter::openFailure(const std::string& fileName, const std::string& reason,
                                int32_t /*code*/, const std::vector<std::string>& moreReasons) {
    printText("ERROR (openInputFile) - Failed to open file: '" + fileName +
              "'\nbecause: " + reason);
    for (const std::string& line : moreReasons) {
        printText(line);
    }
    printLine("");
}

void TextPresenter::beginFile(const CXcfCaptureFileParser& parser) {
    printBlock(parser.report());
}

void TextPresenter::tables(const CXcfCaptureFileParser& parser) {
    const auto* tables = dynamic_cast<const CXcfPmCaptureFileCommon*>(&parser);
    if (tables == nullptr) {
        printBlock("Tables: none in a file of format " + parser.getFormatCode());
        return;
    }
    // Qualified, so that the tables' own report runs rather than the reader's override of
    // the same name.
    printBlock(tables->CXcfPmCaptureFileCommon::report(std::string()));
}

void TextPresenter::statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& s,
                               uint32_t first, const ReadStop* stop) {
    if (stop != nullptr) {
        printText(stop->warning());
    }
    const uint32_t total = parser.numberOfRecords;
    if (s.empty()) {
        printBlock(stop != nullptr ? "Statistics: no record could be read"
                                   : "Statistics: no records");
        return;
    }
    std::string text =
        "Statistics of records " + std::to_string(first) + " to " +
        std::to_string(first + s.records - 1) + " of " + std::to_string(total) +
        (stop != nullptr ? " (the records read before the one that failed):\n" : ":\n");
    text += label("Records") + std::to_string(s.records) + "\n";
    text += label("Frame bytes") + std::to_string(s.frameBytes) + " (stored " +
            std::to_string(s.storedBytes) + ")\n";
    text += label("First record time") + CaptureStatistics::isoText(s.earliest) + " (" +
            CaptureStatistics::epochText(s.earliest) + ")\n";
    text += label("Last record time") + CaptureStatistics::isoText(s.latest) + " (" +
            CaptureStatistics::epochText(s.latest) + ")\n";
    text += label("Duration") + CaptureStatistics::secondsText(s.duration()) + "\n";
    double bytesPerSecond = 0;
    double bitsPerSecond = 0;
    double recordsPerSecond = 0;
    if (s.rates(bytesPerSecond, bitsPerSecond, recordsPerSecond)) {
        text += label("Data rate") + fixed(bytesPerSecond, 2) + " bytes/s, " +
                fixed(bitsPerSecond, 2) + " bits/s\n";
        text += label("Record rate") + fixed(recordsPerSecond, 2) + " records/s\n";
    } else {
        text += label("Data rate") + "n/a (duration 0)\n";
        text += label("Record rate") + "n/a (duration 0)\n";
    }
    text += label("Frame length") + "min " + std::to_string(s.shortestFrame) + ", average " +
            fixed(s.averageFrameLength(), 2) + ", max " + std::to_string(s.longestFrame) + "\n";
    text += "Frame length buckets:\n";
    for (size_t i = 0; i < s.buckets.size(); ++i) {
        const bool last = i + 1 == s.buckets.size();
        const std::string range =
            std::to_string(CaptureStatistics::kBucketStarts[i]) +
            (last ? " and more"
                  : "-" + std::to_string(CaptureStatistics::kBucketStarts[i + 1] - 1));
        char line[96];
        std::snprintf(line, sizeof line, "  %-14s %12llu  %8s\n", range.c_str(),
                      static_cast<unsigned long long>(s.buckets[i]),
                      share(s.buckets[i], s.records).c_str());
        text += line;
    }
    text += label("Damaged frames") + std::to_string(s.damagedFrames) + "\n";
    text += "Records per port:\n";
    const auto* family = dynamic_cast<const CXcfPmCaptureFileParser*>(&parser);
    for (const auto& [port, count] : s.recordsPerPort) {
        // One line per port: a line end in a name is shown escaped too.
        const std::string name = family != nullptr
                                     ? cli::visibleText(family->getSourceName(port), false)
                                     : std::string();
        char line[64];
        std::snprintf(line, sizeof line, "  port %-9u %12llu  ", port,
                      static_cast<unsigned long long>(count));
        text += line + name + "\n";
    }
    text += "Records per layer-2 type:\n";
    for (const auto& [code, count] : s.recordsPerLayer2Type) {
        char line[96];
        const std::string name = CaptureStatistics::layer2Name(code);
        const std::string shown =
            name.rfind("code ", 0) == 0 ? name : name + " (" + std::to_string(code) + ")";
        std::snprintf(line, sizeof line, "  %-20s %6llu\n", shown.c_str(),
                      static_cast<unsigned long long>(count));
        text += line;
    }
    if (s.outOfOrder == 0) {
        text += label("Time order") + "in order\n";
    } else {
        text += label("Time order") + std::to_string(s.outOfOrder) +
                " records earlier than the record before them; largest step back " +
                CaptureStatistics::secondsText(s.largestStepBack) + "\n";
    }
    text += label("Largest gap") + CaptureStatistics::secondsText(s.largestGap) + "\n";
    printBlock(text, true);
}

void TextPresenter::statisticsBeyondTheEnd(const CXcfCaptureFileParser& /*parser*/, uint32_t start,
                                           uint32_t total) {
    printBlock(statisticsBeyondTheEndWarning(start, total));
}

void TextPresenter::recordsNotRead(const std::string& formatCode, bool forStatistics) {
    printBlock(std::string(forStatistics ? "Statistics" : "Records") + ": not " +
               (forStatistics ? "computed" : "listed") + "; the reader of format " + formatCode +
               " reads the header only");
}

void TextPresenter::recordsNone() {
    printBlock("Records: none");
}

void TextPresenter::startBeyondTheEnd(uint32_t start, uint32_t total) {
    printBlock("WARNING (listRecords) - Requested first record " + std::to_string(start) + " > " +
               std::to_string(total) + ", the total number of records in the source file.");
}

void TextPresenter::beginRecords(uint32_t first, uint64_t last, uint32_t total) {
    printLine("Records " + std::to_string(first) + " to " + std::to_string(last) + " of " +
              std::to_string(total) + ":");
    printLine(titleLine(settings.hexBytes));
}

void TextPresenter::record(uint32_t number, const CXcfCaptureRecord& record) {
    printLine(recordLine(number, record, settings.hexBytes));
}

void TextPresenter::endRecords(const ReadStop* stop) {
    if (stop != nullptr) {
        printText(stop->warning());
    }
    printLine("");
}

std::string TextPresenter::titleLine(uint32_t hexBytes) {
    char text[128];
    std::snprintf(text, sizeof text, "%8s  %10s  %11s  %4s  %4s  %6s  %3s  %6s  %8s", "Record",
                  "Seconds", "Nanoseconds", "Port", "Good", "Status", "L2", "ExtLen", "FrameLen");
    return hexBytes == 0 ? std::string(text) : std::string(text) + "  Frame";
}

std::string TextPresenter::recordLine(uint32_t number, const CXcfCaptureRecord& record,
                                      uint32_t hexBytes) {
    char text[128];
    std::snprintf(text, sizeof text, "%8lu  %10lu  %11lu  0x%02X  %4s    0x%02X  %3u  %6lu  %8lu",
                  static_cast<unsigned long>(number),
                  static_cast<unsigned long>(record.getTimestampSeconds()),
                  static_cast<unsigned long>(record.getTimestampNanoseconds()),
                  static_cast<unsigned>(record.getPortByte()), record.isFrameGood() ? "yes" : "no",
                  static_cast<unsigned>(record.getStatusByte()),
                  static_cast<unsigned>(record.getLayer2Type()),
                  static_cast<unsigned long>(record.getExtensionLength()),
                  static_cast<unsigned long>(record.getFrameLength()));
    std::string line = text;
    // Only bytes the record really holds: the stored length may be below the frame length.
    const uint32_t shown = std::min(hexBytes, record.getFrameStoredLength());
    const uint8_t* frame = record.getFrame();
    if (shown > 0 && frame != nullptr) {
        line += " ";
        for (uint32_t i = 0; i < shown; ++i) {
            line += " " + xcf::hexText(frame[i], 2, false);
        }
    }
    return line;
}
