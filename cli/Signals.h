// How the programs meet signals. A console that goes away (SIGPIPE) and a file size limit
// (SIGXFSZ) are failures to report, not reasons to die half-way through a file; SIGINT,
// SIGTERM and SIGHUP ask for a stop, which the programs make at a point where they can
// clean up, and then they end by that same signal, as the shell expects.
#pragma once

#include <string>

namespace cli {

// Ignores SIGPIPE and SIGXFSZ and records SIGINT, SIGTERM and SIGHUP.
void installSignalHandlers();

// The stop signal received so far, 0 for none.
int stopSignal();

// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string signalName(int signal);

// Ends the process by the signal, with its default action.
[[noreturn]] void endBySignal(int signal);

}  // namespace cli
