// trcedit: cuts B3 and B4 captures by time and position, splits them into chunks, and merges
// them in time order.
#include <memory>
#include <string>

#include "cli/Console.h"
#include "cli/Program.h"
#include "trcedit/EditRun.h"
#include "trcedit/EditSettings.h"

namespace {

class Edit : public cli::Program {
  public:
    cli::ParseOutcome parse(int argc, char* argv[]) override {
        return parseEditArguments(argc, argv, settings);
    }
    bool run() override {
        edit = std::make_unique<EditRun>(settings);
        uint64_t count = 0;
        size_t files = 0;
        if (!edit->openAllInputs() || !edit->prepareOutput() || !edit->editRecords(count, files)) {
            return false;
        }
        printLine("Wrote " + std::to_string(count) + " records into " + std::to_string(files) +
                  (files == 1 ? " file." : " files."));
        if (settings.dedupGiven) {
            printLine("Duplicates dropped:\t" + std::to_string(edit->duplicatesDropped()));
        }
        return true;
    }
    void cleanUp() override {
        if (edit) {
            edit->cleanUp();
        }
    }
    int stoppedBy() const override { return edit ? edit->interruptedBy() : 0; }

  private:
    EditSettings settings;
    std::unique_ptr<EditRun> edit;
};

}  // namespace

int main(int argc, char* argv[]) {
    Edit program;
    return cli::runProgram("trcedit", program, argc, argv);
}
