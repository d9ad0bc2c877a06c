// The stop signals are recorded, not obeyed at once: the first one counts, and the process
// ends by it only when the program has cleaned up. Whatever records a signal runs in a child,
// so that the test process itself keeps its own handlers and no stop of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/Signals.h"

namespace {

TEST(SignalName, NamesTheStopSignalsAndNumbersTheRest) {
    EXPECT_EQ(cli::signalName(SIGINT), "SIGINT");
    EXPECT_EQ(cli::signalName(SIGTERM), "SIGTERM");
    EXPECT_EQ(cli::signalName(SIGHUP), "SIGHUP");
    EXPECT_EQ(cli::signalName(SIGUSR1), "signal " + std::to_string(SIGUSR1));
}

// Raises first, then every other signal the handlers take, and says which stop counts.
[[noreturn]] void raiseAll(int first) {
    cli::installSignalHandlers();
    if (cli::stopSignal() != 0) {
        std::_Exit(1);
    }
    for (const int signal : {first, SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
        std::raise(signal);
    }
    std::fprintf(stderr, "stopped by %d\n", cli::stopSignal());
    std::exit(0);
}

class StopSignal : public ::testing::TestWithParam<int> {};

// A second stop signal, a closed console and a file size limit change nothing.
TEST_P(StopSignal, FirstOneIsRecordedAndNothingEndsTheProcess) {
    const int first = GetParam();
    const std::string said = "stopped by " + std::to_string(first) + "\n";
    EXPECT_EXIT(raiseAll(first), ::testing::ExitedWithCode(0), "^" + said + "$");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return cli::signalName(info.param).substr(3); });

// The handlers of the run and a blocked signal must not keep the process alive.
TEST(EndBySignal, EndsByTheSignalEvenWhenHandledAndBlocked) {
    EXPECT_EXIT(
        {
            cli::installSignalHandlers();
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGINT);
            sigprocmask(SIG_BLOCK, &blocked, nullptr);
            cli::endBySignal(SIGINT);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

TEST(EndBySignal, ExitsAsAShellWouldWhereTheSignalDoesNotEndAProcess) {
    EXPECT_EXIT(cli::endBySignal(SIGCHLD), ::testing::ExitedWithCode(128 + SIGCHLD), "");
}

}  // namespace
