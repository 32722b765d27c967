#pragma once
// The console's stop requests on Windows: Ctrl-C, Ctrl-Break and closing the
// console window (and logoff or shutdown) all act as the Cancel button.
//
// The system calls the handler on a thread of its own.  For Ctrl-C and
// Ctrl-Break the program then goes on and ends as a cancelled run does.  For
// closing, logoff and shutdown the system ends the process as soon as the
// handler returns (or after about five seconds), so the handler waits until
// the front end reports the run's end and then ends the process with that
// run's exit code itself.
#include <cstdint>
#include <functional>
#include <string>

namespace talvek {

namespace platform {

// The console event numbers (CTRL_C_EVENT, CTRL_BREAK_EVENT, ...).
enum ConsoleEvent : uint32_t {
    ConsoleCtrlC = 0,
    ConsoleBreak = 1,
    ConsoleClose = 2,
    ConsoleLogoff = 5,
    ConsoleShutdown = 6,
};

// Installs the handler; each event calls `onStop` with its number.  A second
// call replaces the function.  False when the system refuses the handler.
bool installConsoleStopHandler(std::function<void(uint32_t event)> onStop);
// Removes it again.
void removeConsoleStopHandler();
// The run has ended with `exitCode`: a handler waiting on a close event may
// now end the process.
void consoleRunEnded(int exitCode);

// Whether `event` ends the process once its handler returns.
bool consoleEventEndsProcess(uint32_t event);

// The handler routine as the system calls it (tests call it directly).  It
// returns nonzero: the event has been handled.  For an event that ends the
// process it waits for consoleRunEnded() (at most `graceMs`) and returns
// only when the run did not end in time.
int consoleStopRoutine(uint32_t event, uint32_t graceMs = 4500);

// Why no window can be shown (a service, a remote shell: the window
// station is not visible), or empty when a desktop seems to be there.
// Creating the window can still fail (Wine without a display); the front
// end then runs without it as well.
std::string missingDesktop();

// When the console was made for this process alone (it was started from
// Explorer or by a program without a console), gives it up so that no empty
// console window stays open beside the transfer window.  Returns whether it did.
bool releaseOwnConsole();

}  // namespace platform

}  // namespace talvek
