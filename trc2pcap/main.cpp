// trc2pcap: converts B3 and B4 capture files into pcap or pcapng files.
#include <string>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"
#include "trc2pcap/ExportRun.h"
#include "trc2pcap/ExportSettings.h"

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    cli::raiseOpenFileLimit();
    ExportSettings settings;
    switch (parseExportArguments(argc, argv, settings)) {
        case ExportParse::kUsage:
            return 0;
        case ExportParse::kError:
            return -1;
        case ExportParse::kRun:
            break;
    }
    int status = -1;
    ExportRun run(settings);
    uint64_t count = 0;
    if (run.openAllInputs() && run.prepareOutput() && run.exportRecords(count)) {
        printLine("Exported " + std::to_string(count) + " records into '" +
                  settings.outputFileName + "' (" +
                  (settings.format == ExportFormat::kPcap ? "pcap" : "pcapng") + ").");
        status = 0;
    }
    run.cleanUp();
    if (run.interruptedBy() != 0) {
        cli::endBySignal(run.interruptedBy());
    }
    return status;
}
