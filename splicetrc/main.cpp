#include <memory>
#include <string>

#include "cli/Console.h"
#include "cli/Program.h"
#include "splicetrc/AppendRun.h"
#include "splicetrc/Banner.h"
#include "splicetrc/RunSettings.h"

namespace {

class Splice : public cli::Program {
  public:
    void greet() override { printBanner(settings); }
    cli::ParseOutcome parse(int argc, char* argv[]) override {
        return parseArguments(argc, argv, settings) ? cli::ParseOutcome::kRun
                                                    : cli::ParseOutcome::kError;
    }
    bool run() override {
        append = std::make_unique<AppendRun>(settings);
        uint32_t count = 0;
        if (!append->openAllInputs() || !append->openOutputFile() ||
            !append->convertRecords(count)) {
            return false;
        }
        printLine("Total appended packets:\t" + std::to_string(count));
        return true;
    }
    void cleanUp() override {
        if (append) {
            append->cleanUp();
        }
    }
    int stoppedBy() const override { return append ? append->interruptedBy() : 0; }

  private:
    RunSettings settings;
    std::unique_ptr<AppendRun> append;
};

}  // namespace

int main(int argc, char* argv[]) {
    Splice program;
    return cli::runProgram("splicetrc", program, argc, argv);
}
