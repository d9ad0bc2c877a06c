#include "cli/Signals.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace cli {

namespace {

volatile std::sig_atomic_t receivedSignal = 0;

extern "C" void recordStop(int signal) {
    // The first one counts; a second Ctrl-C while cleaning up changes nothing.
    if (receivedSignal == 0) {
        receivedSignal = signal;
    }
}

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // System calls interrupted by the signal go on; the stop is made between records.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void installSignalHandlers() {
    setAction(SIGPIPE, SIG_IGN);
    setAction(SIGXFSZ, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        setAction(signal, recordStop);
    }
}

int stopSignal() {
    return receivedSignal;
}

std::string signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

void endBySignal(int signal) {
    setAction(signal, SIG_DFL);
    sigset_t pending;
    sigemptyset(&pending);
    sigaddset(&pending, signal);
    sigprocmask(SIG_UNBLOCK, &pending, nullptr);
    raise(signal);
    // Not reached for the stop signals; the exit status a shell gives such an end otherwise.
    std::_Exit(128 + signal);
}

}  // namespace cli
