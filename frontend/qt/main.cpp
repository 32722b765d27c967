// Process entry: the application object, the transfer window, the message
// loop, and the exit status.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "frontend/qt/guarded_application.h"
#include "frontend/qt/transfer_window.h"
#include "frontend/terminal/terminal_frontend.h"
#include "platform/console.h"
#include "session/command_line.h"
#include "session/session.h"

using namespace talvek;

namespace {

// The entry's error box; without a display nobody could close one, so the
// text goes to standard error instead.
void showError(const QString& message) {
    if (hasDisplay()) {
        QMessageBox::critical(nullptr, applicationTitle(), message);
    } else {
        platform::writeStandardError(
            (applicationTitle() + QStringLiteral(": ") + message + QLatin1Char('\n'))
                .toStdString());
    }
}

// showError from the entry's handlers: showing the message must not throw
// out of main (memory may be what ran out).
void reportError(const char* message, bool unknown) noexcept {
    try {
        showError(unknown ? QStringLiteral("Unknown Exception!") : QString::fromUtf8(message));
    } catch (...) {
    }
}

// The offscreen platform has no window manager to talk to; its notes about
// that are noise on a user's terminal.
void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (text.contains(QLatin1String("propagateSizeHints")) ||
        text.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    platform::writeStandardError(text.toStdString() + "\n");
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: a stop signal from now on waits for the window, which
    // treats it as Cancel, instead of ending the process outright.
    const int signalFd = platform::terminationSignalFd();
    // Without a display the window runs on the offscreen platform, so that
    // activation and closing behave as on a screen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(messageHandler);

    // Read before the application object takes its own options out of argv;
    // an argument the text cannot carry is reported once the error box can
    // be shown, and nothing else happens.
    std::string commandLine;
    std::exception_ptr badArgument;
    try {
        commandLine = commandLineFromArgs(argc, argv);
    } catch (...) {
        badArgument = std::current_exception();
    }
    // --help, --version and -list answer on standard output, without a window.
    if (!badArgument) {
        if (const std::optional<int> status = answerInformationRequest(commandLine)) return *status;
    }

    GuardedApplication app(argc, argv);
    int exitCode = 0;
    try {
        if (badArgument) std::rethrow_exception(badArgument);
        app.setApplicationName(applicationTitle());
        app.setQuitOnLastWindowClosed(false);

        TransferWindow form(commandLine);
        QObject::connect(&form, &TransferWindow::Closed, &app, &QCoreApplication::quit);
        // An exception out of a handler stops the download and closes the
        // window; it is shown below like any other.
        app.onEscape([&form] { form.close(); });

        std::unique_ptr<QSocketNotifier> notifier;
        if (signalFd >= 0) {
            notifier = std::make_unique<QSocketNotifier>(signalFd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&form] {
                if (int sig = platform::drainTerminationSignals()) form.cancelBySignal(sig);
            });
        }

        form.show();
        form.activateWindow();
        // An exception before the loop ran (it asked a loop to end that
        // had not started) leaves nothing to run it for.
        if (exitCode == 0 && !app.escaped()) app.exec();
        app.onEscape(nullptr);
        app.rethrowEscaped();
        exitCode = form.exitCode();
    } catch (const std::exception& e) {
        app.onEscape(nullptr);
        reportError(e.what(), false);
        exitCode = 1;
    } catch (...) {
        app.onEscape(nullptr);
        reportError(nullptr, true);
        exitCode = 1;
    }
    platform::restoreTerminationSignals();
    return exitStatusFor(exitCode);
}
