#include <exception>
#include <string>

#include "cli/Console.h"
#include "cli/Signals.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/InfoSettings.h"
#include "trcinfo/JsonPresenter.h"
#include "trcinfo/TextPresenter.h"

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    InfoSettings settings;
    switch (parseInfoArguments(argc, argv, settings)) {
        case ParseOutcome::kUsage:
            return 0;
        case ParseOutcome::kError:
            return -1;
        case ParseOutcome::kRun:
            break;
    }
    bool allOpened = true;
    try {
        TextPresenter text(settings);
        JsonPresenter json(settings);
        InfoPresenter& presenter = settings.json ? static_cast<InfoPresenter&>(json) : text;
        FileInspector inspector(settings, presenter);
        for (const std::string& name : settings.fileNames) {
            if (cli::stopSignal() != 0 || !consoleIsOpen()) {
                break;
            }
            allOpened = inspector.inspect(name) && allOpened;
        }
        presenter.finish();
    } catch (const std::exception& failure) {
        // Only memory can run out here (a frame as large as the file allows); say so
        // instead of aborting.
        printLine(std::string("ERROR (trcinfo) - ") + failure.what());
        return -1;
    }
    if (cli::stopSignal() != 0) {
        cli::endBySignal(cli::stopSignal());
    }
    return allOpened ? 0 : -1;
}
