#include "trcinfo/FileInspector.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"
#include "cli/FormatRecords.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"

namespace {

// Prints a block of text followed by exactly one empty line, whatever line ends it has.
void printBlock(std::string text) {
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    printLine(text);
    printLine("");
}

}  // namespace

FileInspector::FileInspector(const InfoSettings& settings) : settings(settings) {}

bool FileInspector::inspect(const std::string& fileName) {
    const std::string refusal = cli::inputRefusal(fileName);
    if (!refusal.empty()) {
        printLine("ERROR (openInputFile) - Failed to open file: '" + fileName +
                  "'\nbecause: " + refusal);
        printLine("");
        return false;
    }
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(fileName);
    if (!parser) {
        reportOpenFailure(factory, fileName);
        printLine("");
        return false;
    }
    printBlock(parser->report());
    if (settings.showTables) {
        printTables(*parser);
    }
    if (settings.listRecords) {
        listRecords(*parser);
    }
    parser->close();
    return true;
}

void FileInspector::reportOpenFailure(CXcfCaptureFileParserFactory& factory,
                                      const std::string& fileName) {
    printLine("ERROR (openInputFile) - Failed to open file: '" + fileName +
              "'\nbecause: " + cli::openFailureReason(factory, settings.fileNames.size()));
    const int32_t factoryCode = factory.lastErrorCode;
    if (factoryCode == CXcfCaptureFileCommon::kErrorFileNotFound) {
        return;
    }
    // The factory keeps the refusal of the last reader it tried, the tcpdump one. When a
    // tester-family reader recognised the file and refused it for another reason (a header
    // cut short, say), that reason is what the user needs, so each reader is asked again.
    int32_t formatType = CXcfCaptureFileCommon::kFormatUnknown;
    for (uint32_t index = 0; factory.formatTypeAt(index, formatType); ++index) {
        std::unique_ptr<CXcfCaptureFileParser> attempt;
        if (factory.tryFormat(formatType, attempt)) {
            continue;  // the file changed in between; nothing to explain
        }
        const int32_t code = factory.lastErrorCode;
        std::string name;
        if (code != CXcfCaptureFileCommon::kErrorFormatNotRecognised && code != factoryCode &&
            factory.formatName(formatType, name)) {
            printLine("As a " + name + " file: " + xcf::errorText(code));
        }
    }
}

void FileInspector::printTables(CXcfCaptureFileParser& parser) {
    const auto* tables = dynamic_cast<const CXcfPmCaptureFileCommon*>(&parser);
    if (tables == nullptr) {
        printBlock("Tables: none in a file of format " + parser.getFormatCode());
        return;
    }
    // Qualified, so that the tables' own report runs rather than the reader's override of
    // the same name.
    printBlock(tables->CXcfPmCaptureFileCommon::report(std::string()));
}

void FileInspector::listRecords(CXcfCaptureFileParser& parser) {
    const std::string code = parser.getFormatCode();
    if (dynamic_cast<CXcfPmCaptureFileParser*>(&parser) == nullptr) {
        printBlock("Records: not listed; the reader of format " + code + " reads the header only");
        return;
    }
    const uint32_t total = parser.numberOfRecords;
    const uint32_t first = settings.startRecord;
    if (total == 0) {
        printBlock("Records: none");
        return;
    }
    if (first > total) {
        printBlock("WARNING (listRecords) - Requested first record " + std::to_string(first) +
                   " > " + std::to_string(total) +
                   ", the total number of records in the source file.");
        return;
    }
    // 64 bits: a start near the top of the range plus a count must not wrap.
    uint64_t last = total;
    if (settings.recordCount != 0) {
        last = std::min<uint64_t>(total, uint64_t{first} + settings.recordCount - 1);
    }
    printLine("Records " + std::to_string(first) + " to " + std::to_string(last) + " of " +
              std::to_string(total) + ":");
    printLine(titleLine(settings.hexBytes));

    cli::FormatRecords records;
    CXcfCaptureRecord& record = records.recordFor(cli::captureFormatOf(code));
    // Nobody reads on once the console has gone (a pager that quit), and a stop signal ends
    // the listing too.
    for (uint64_t number = first; number <= last && consoleIsOpen() && cli::stopSignal() == 0;
         ++number) {
        const auto recordNumber = static_cast<uint32_t>(number);
        parser.lastErrorCode = CXcfCaptureFileCommon::kErrorNone;
        if (!parser.readRecord(recordNumber, record)) {
            // A record inside the count that cannot be read means the file is damaged, even
            // where the reader found no more precise reason.
            const int32_t error = parser.lastErrorCode != CXcfCaptureFileCommon::kErrorNone
                                      ? parser.lastErrorCode
                                      : CXcfCaptureFileCommon::kErrorCorruptFile;
            printLine("WARNING (listRecords) - Stopped reading file: '" + parser.getFileName() +
                      "' at record " + std::to_string(recordNumber) + " of " +
                      std::to_string(total) + "; the records after it were not listed.\n" +
                      "because: " + xcf::errorText(error));
            break;
        }
        printLine(recordLine(recordNumber, record, settings.hexBytes));
    }
    printLine("");
}

std::string FileInspector::titleLine(uint32_t hexBytes) {
    char text[128];
    std::snprintf(text, sizeof text, "%8s  %10s  %11s  %4s  %4s  %6s  %3s  %6s  %8s", "Record",
                  "Seconds", "Nanoseconds", "Port", "Good", "Status", "L2", "ExtLen", "FrameLen");
    return hexBytes == 0 ? std::string(text) : std::string(text) + "  Frame";
}

std::string FileInspector::recordLine(uint32_t number, const CXcfCaptureRecord& record,
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
