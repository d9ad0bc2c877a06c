// trc2pcap: converts B3 and B4 capture files into pcap or pcapng files.
#include <memory>
#include <string>

#include "cli/Console.h"
#include "cli/Program.h"
#include "trc2pcap/ExportRun.h"
#include "trc2pcap/ExportSettings.h"

namespace {

class Export : public cli::Program {
  public:
    cli::ParseOutcome parse(int argc, char* argv[]) override {
        // Standard output may carry the export: no line of ours goes there, not even one
        // about the command line.
        for (int i = 1; i + 1 < argc; ++i) {
            if (argv[i] == std::string("-out") &&
                argv[i + 1] == std::string(ExportSettings::kStandardOutput)) {
                printToStandardError();
            }
        }
        return parseExportArguments(argc, argv, settings);
    }
    bool run() override {
        exporter = std::make_unique<ExportRun>(settings);
        uint64_t count = 0;
        if (!exporter->openAllInputs() || !exporter->prepareOutput() ||
            !exporter->exportRecords(count)) {
            return false;
        }
        if (settings.toStandardOutput()) {
            return true;  // a filter says nothing when all went well
        }
        printLine("Exported " + std::to_string(count) + " records into '" +
                  settings.outputFileName + "' (" +
                  (settings.format == ExportFormat::kPcap ? "pcap" : "pcapng") + ").");
        return true;
    }
    void cleanUp() override {
        if (exporter) {
            exporter->cleanUp();
        }
    }
    int stoppedBy() const override { return exporter ? exporter->interruptedBy() : 0; }

  private:
    ExportSettings settings;
    std::unique_ptr<ExportRun> exporter;
};

}  // namespace

int main(int argc, char* argv[]) {
    Export program;
    return cli::runProgram("trc2pcap", program, argc, argv);
}
