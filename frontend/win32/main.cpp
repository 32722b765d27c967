// Process entry on Windows: the transfer window, the message loop and the
// exit code, which the process returns whole (32 bits).
#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "frontend/terminal/terminal_frontend.h"
#include "frontend/win32/transfer_window.h"
#include "platform/os.h"
#include "platform/win32/console_control.h"
#include "platform/win32/wide_text.h"
#include "session/command_line.h"
#include "session/session.h"

using namespace talvek;

namespace {

// The entry's error box.
void showError(const std::string& message) {
    MessageBoxW(nullptr, platform::toWide(message).c_str(), applicationTitle().c_str(),
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace

int main() {
    // The command line as the caller wrote it, scanned by the program's own
    // rules (not rebuilt from the C runtime's argv).  A name that cannot
    // reach the file system unchanged stops the run before anything is
    // touched.
    const platform::CommandLineText line =
        platform::systemCommandLine().value_or(platform::CommandLineText{});
    if (!line.uncarried.empty()) {
        showError(UncarriableArgument(line.uncarried).what());
        return 1;
    }
    const std::string& commandLine = line.text;

    // --help, --version and -list answer on the console that started the
    // program, without a window.
    if (const std::optional<int> status = answerInformationRequest(commandLine)) return *status;

    // Started without a console of its own (from Explorer, or by a program
    // that has none), the program does not keep the one it was given.
    platform::releaseOwnConsole();

    int exitCode = 0;
    try {
        Win32TransferWindow form(commandLine);
        // The handler runs on a thread of the system's: it only posts.
        const HWND window = form.handle();
        platform::installConsoleStopHandler([window](uint32_t event) {
            PostMessageW(window, StopMessage, event, 0);
        });
        exitCode = form.run();
    } catch (const std::exception& e) {
        showError(e.what());
        exitCode = 1;
    } catch (...) {
        showError("Unknown Exception!");
        exitCode = 1;
    }
    // A console close waiting in its handler may now end the process.
    platform::consoleRunEnded(exitCode);
    platform::removeConsoleStopHandler();
    return exitStatusFor(exitCode);
}
