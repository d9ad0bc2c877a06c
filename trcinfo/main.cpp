// trcinfo: header reports, statistics and record listings of capture files.
#include <string>

#include "cli/Console.h"
#include "cli/Program.h"
#include "cli/Signals.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/HtmlReport.h"
#include "trcinfo/InfoSettings.h"
#include "trcinfo/JsonPresenter.h"
#include "trcinfo/TextPresenter.h"

namespace {

class Info : public cli::Program {
  public:
    cli::ParseOutcome parse(int argc, char* argv[]) override {
        return parseInfoArguments(argc, argv, settings);
    }
    bool run() override {
        if (!settings.htmlOutput.empty()) {
            HtmlReport page(settings.htmlOutput);
            bool allOpened = true;
            for (const std::string& name : settings.fileNames) {
                if (cli::stopSignal() != 0) {
                    return false;
                }
                allOpened = page.add(name) && allOpened;
            }
            return page.write() && allOpened;
        }
        TextPresenter text(settings);
        JsonPresenter json(settings);
        InfoPresenter& presenter = settings.json ? static_cast<InfoPresenter&>(json) : text;
        FileInspector inspector(settings, presenter);
        bool allOpened = true;
        for (const std::string& name : settings.fileNames) {
            if (cli::stopSignal() != 0 || !consoleIsOpen()) {
                break;
            }
            allOpened = inspector.inspect(name) && allOpened;
        }
        presenter.finish();
        return allOpened;
    }

  private:
    InfoSettings settings;
};

}  // namespace

int main(int argc, char* argv[]) {
    Info program;
    return cli::runProgram("trcinfo", program, argc, argv);
}
