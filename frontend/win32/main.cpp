// Process entry on Windows: the transfer window, the message loop and the
// exit code, which the process returns whole (32 bits).
#include <windows.h>

#include <exception>
#include <optional>
#include <string>

#include "frontend/terminal/terminal_frontend.h"
#include "frontend/win32/transfer_window.h"
#include "platform/console.h"
#include "platform/os.h"
#include "platform/win32/console_control.h"
#include "platform/win32/wide_text.h"
#include "session/command_line.h"
#include "session/session.h"
#include "trace/trace.h"

using namespace talvek;

namespace {

// Whether boxes can be shown; without a desktop nobody could close one.
bool onDesktop = true;

// The entry's error box, or without a desktop standard error.
void showError(const std::string& message) {
    if (!onDesktop) {
        platform::writeStandardError(platform::toUtf8(applicationTitle()) + ": " + message + "\n");
        return;
    }
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
    std::string noDesktop = platform::missingDesktop();
    onDesktop = noDesktop.empty();
    if (!line.uncarried.empty()) {
        showError(UncarriableArgument(line.uncarried).what());
        return 1;
    }
    const std::string& commandLine = line.text;

    // --help, --version and -list answer on the console that started the
    // program, without a window.
    if (const std::optional<int> status = answerInformationRequest(commandLine)) return *status;

    int exitCode = 0;
    // Without a desktop (a service, a remote shell, Wine without a display)
    // the download runs as the Linux build runs without a display: no
    // window, the status line on the console when standard error is one.
    const bool console = platform::isTerminal(2);
    std::optional<TerminalFrontend> windowless;
    try {
        if (onDesktop) {
            try {
                Win32TransferWindow form(commandLine);
                // Started without a console of its own (from Explorer, or by
                // a program that has none), the program does not keep the
                // one it was given.
                platform::releaseOwnConsole();
                // The handler runs on a thread of the system's: it only posts.
                const HWND window = form.handle();
                platform::installConsoleStopHandler(
                    [window](uint32_t event) { PostMessageW(window, StopMessage, event, 0); });
                exitCode = form.run();
            } catch (const NoWindow& e) {
                noDesktop = e.what();
                onDesktop = false;
            }
        }
        if (!onDesktop) {
            windowless.emplace(commandLine, [console](const std::string& text) {
                if (console) platform::writeStandardError(text);
            });
            trace::write(trace::Info, "No Desktop: Running Without The Window (%s)",
                         noDesktop.c_str());
            TerminalFrontend& frontend = *windowless;
            platform::installConsoleStopHandler(
                [&frontend](uint32_t event) { frontend.cancel(static_cast<int>(event)); });
            exitCode = frontend.run();
        }
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
