#pragma once
// Terminal and signal plumbing of the application: whether standard error is
// a terminal, and the stop signals turned into a readable file descriptor so
// the GUI thread can treat them like the Cancel button.
#include <string>

namespace talvek {

namespace platform {

// Whether file descriptor `fd` is a terminal.
bool isTerminal(int fd);

// Writes the text to standard error as it is (one write call, no buffering).
void writeStandardError(const std::string& text);
// The same for standard output (the text of --help, --version and -list).
void writeStandardOutput(const std::string& text);

// Installs handlers of SIGINT, SIGTERM, SIGHUP and SIGQUIT that make the
// returned descriptor readable (one byte, the signal number, per signal).
// Returns -1 when that cannot be set up.  Calling it again returns the same
// descriptor.  A program calls it first thing, so that no such signal ends
// it outright.
int terminationSignalFd();
// Reads the pending bytes of that descriptor; returns the number of the
// last signal that came, or 0 when none did.
int drainTerminationSignals();
// Puts the default handlers back.
void restoreTerminationSignals();

}  // namespace platform

}  // namespace talvek
