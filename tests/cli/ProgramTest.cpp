// What runProgram does around a program's steps, on every way a run can end, and how a run
// reports a failed write and a stop. Each run goes in a child: runProgram installs the
// signal handlers, and a stopped run ends its process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <new>
#include <ostream>
#include <string>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "cli/Program.h"
#include "cli/RunReport.h"
#include "cli/Signals.h"

namespace {

enum class Step { kSucceeds, kFails, kThrows, kStopped, kConsoleGone };

struct Script {
    const char* name;
    cli::ParseOutcome parse;
    Step step;
    int exitStatus;  // -1: ended by endSignal
    int endSignal;
    std::string said;  // standard output and error, in order
};

void PrintTo(const Script& r, std::ostream* os) {
    *os << r.name;
}

class ScriptedProgram : public cli::Program {
  public:
    explicit ScriptedProgram(const Script& script) : script(script) {}
    void greet() override { std::cout << "greet "; }
    cli::ParseOutcome parse(int, char*[]) override {
        std::cout << "parse ";
        return script.parse;
    }
    bool run() override {
        std::cout << "run ";
        switch (script.step) {
            case Step::kThrows:
                throw std::bad_alloc();
            case Step::kStopped:
                std::raise(SIGTERM);
                std::raise(SIGINT);
                break;
            case Step::kConsoleGone:
                std::raise(SIGPIPE);
                break;
            default:
                break;
        }
        return script.step != Step::kFails;
    }
    void cleanUp() override { std::cout << "cleanUp"; }

  private:
    const Script& script;
};

// Runs the program as a main does, its console on standard error.
[[noreturn]] void runAsMain(const Script& script) {
    std::cout.rdbuf(std::cerr.rdbuf());
    ScriptedProgram program(script);
    char name[] = "tool";
    char* argv[] = {name, nullptr};
    std::exit(cli::runProgram("tool", program, 1, argv));
}

class RunProgram : public ::testing::TestWithParam<Script> {};

TEST_P(RunProgram, CleansUpAndEndsAsTheShellExpects) {
    const Script& run = GetParam();
    const auto ended = [&run](int status) {
        return run.endSignal != 0 ? WIFSIGNALED(status) && WTERMSIG(status) == run.endSignal
                                  : WIFEXITED(status) && WEXITSTATUS(status) == run.exitStatus;
    };
    EXPECT_EXIT(runAsMain(run), ended, "^" + run.said + "$");
}

const std::string kAll = "greet parse run cleanUp";

INSTANTIATE_TEST_SUITE_P(
    Ends, RunProgram,
    ::testing::Values(
        Script{"Usage", cli::ParseOutcome::kUsage, Step::kSucceeds, 0, 0, "greet parse "},
        Script{"BadCommandLine", cli::ParseOutcome::kError, Step::kSucceeds, 255, 0,
               "greet parse "},
        Script{"Succeeds", cli::ParseOutcome::kRun, Step::kSucceeds, 0, 0, kAll},
        Script{"Fails", cli::ParseOutcome::kRun, Step::kFails, 255, 0, kAll},
        Script{"OutOfMemory", cli::ParseOutcome::kRun, Step::kThrows, 255, 0,
               "greet parse run ERROR \\(tool\\) - std::bad_alloc\ncleanUp"},
        Script{"ConsoleGone", cli::ParseOutcome::kRun, Step::kConsoleGone, 0, 0, kAll},
        Script{"Stopped", cli::ParseOutcome::kRun, Step::kStopped, -1, SIGTERM, kAll}),
    [](const auto& info) { return std::string(info.param.name); });

struct Failure {
    const char* name;
    int systemError;
    std::string said;
};

void PrintTo(const Failure& f, std::ostream* os) {
    *os << f.name;
}

class WriteFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(WriteFailure, GivesTheWritersWordsThenTheSystemsCause) {
    CXcfCaptureFileCommon writer;
    writer.lastErrorCode = CXcfCaptureFileCommon::kErrorWriteFailure;
    writer.lastSystemError = GetParam().systemError;
    testing::internal::CaptureStdout();
    const std::string output = "out.cap";
    cli::RunReport(output).writeFailure("writeRecords", "o.cap", writer);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR (writeRecords) - Failed to write file: 'o.cap'\nbecause: File write failure, "
              "check permissions" +
                  GetParam().said + "\n");
}

INSTANTIATE_TEST_SUITE_P(Causes, WriteFailure,
                         ::testing::Values(Failure{"Known", ENOSPC, " (No space left on device)"},
                                           Failure{"Unknown", 0, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// The interruption is said once, under the step that saw it first, naming what stayed as it was.
TEST(StopRequested, SaysOnceWhichOutputWasLeftUnchanged) {
    EXPECT_EXIT(
        {
            std::cout.rdbuf(std::cerr.rdbuf());
            const std::string output = "o.cap";
            cli::RunReport single(output);
            cli::RunReport series(output);
            series.nameOutputFiles("cut-NNNNN.cap");
            if (single.stopRequested("early") || single.stoppedBy() != 0) {
                std::_Exit(1);
            }
            cli::installSignalHandlers();
            std::raise(SIGHUP);
            const bool stopped = single.stopRequested("first") && single.stopRequested("again") &&
                                 series.stopRequested("cut");
            std::exit(stopped && single.stoppedBy() == SIGHUP ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "^ERROR \\(first\\) - Interrupted by SIGHUP; the output file 'o.cap' was left "
        "unchanged.\nERROR \\(cut\\) - Interrupted by SIGHUP; the output files 'cut-NNNNN.cap' "
        "were left unchanged.\n$");
}

}  // namespace
