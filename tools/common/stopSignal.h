// Ctrl-C and SIGTERM end the companion programs' loops cleanly: the handler only raises a flag,
// and the loops look at it between steps, so output is never cut mid-line.
#pragma once

#include <csignal>

namespace cli {

// Installs the handlers. A write in progress is resumed, so a record is never cut short; the
// waits (poll, nanosleep) return at once whatever the flags, and the loops then see the flag.
void installStopHandlers();
bool stopRequested();
// The flag itself, for code that waits and must notice an interruption.
const volatile std::sig_atomic_t *stopFlag();

}  // namespace cli
