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

#include "frontend/qt/transfer_window.h"
#include "platform/console.h"
#include "session/command_line.h"
#include "session/information_request.h"
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
    // Without a display the window runs on the offscreen platform, so that
    // activation and closing behave as on a screen.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(messageHandler);

    const std::string commandLine = commandLineFromArgs(argc, argv);
    // --help, --version and -list answer on standard output, without a window.
    try {
        if (const std::optional<std::string> text = informationText(commandLine)) {
            platform::writeStandardOutput(*text);
            return 0;
        }
    } catch (const std::exception& e) {
        platform::writeStandardError(std::string("talvek-dl: ") + e.what() + "\n");
        return 1;
    }

    QApplication app(argc, argv);
    int exitCode = 0;
    try {
        app.setApplicationName(applicationTitle());
        app.setQuitOnLastWindowClosed(false);

        TransferWindow form(commandLine);
        QObject::connect(&form, &TransferWindow::Closed, &app, &QCoreApplication::quit);

        std::unique_ptr<QSocketNotifier> notifier;
        int fd = platform::terminationSignalFd();
        if (fd >= 0) {
            notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&form] {
                if (int sig = platform::drainTerminationSignals()) form.cancelBySignal(sig);
            });
        }

        form.show();
        form.activateWindow();
        if (exitCode == 0) app.exec();
        exitCode = form.exitCode();
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
        exitCode = 1;
    } catch (...) {
        showError(QStringLiteral("Unknown Exception!"));
        exitCode = 1;
    }
    platform::restoreTerminationSignals();
    return exitStatusFor(exitCode);
}
