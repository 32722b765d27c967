// Process entry: the application object, the transfer window, the message
// loop, and the exit status.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/download_worker.h"
#include "app/gui_transfer_form.h"
#include "device/errors.h"
#include "platform/console.h"
#include "trace/trace.h"

namespace {

bool hasDisplay() {
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

// The entry's error box; without a display nobody could close one, so the
// text goes to standard error instead.
void ShowError(const QString& message) {
    if (hasDisplay()) {
        QMessageBox::critical(nullptr, ApplicationTitle(), message);
    } else {
        platform::writeStandardError(
            (ApplicationTitle() + QStringLiteral(": ") + message + QLatin1Char('\n'))
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

    const std::string commandLine = CommandLineFromArgs(argc, argv);

    QApplication app(argc, argv);
    int exitCode = 0;
    try {
        app.setApplicationName(ApplicationTitle());
        app.setQuitOnLastWindowClosed(false);

        TTransferForm form(commandLine);
        QObject::connect(&form, &TTransferForm::Closed, &app, &QCoreApplication::quit);

        std::unique_ptr<QSocketNotifier> notifier;
        int fd = platform::terminationSignalFd();
        if (fd >= 0) {
            notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &form, [&form] {
                if (int sig = platform::drainTerminationSignals()) form.CancelBySignal(sig);
            });
        }

        form.show();
        form.activateWindow();
        if (exitCode == 0) app.exec();
        exitCode = form.ExitCode();
    } catch (const w_std::runtime_error& e) {
        ShowError(QString::fromStdString(Trace::ToNarrow(e.what())));
        exitCode = 1;
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        exitCode = 1;
    } catch (...) {
        ShowError(QStringLiteral("Unknown Exception!"));
        exitCode = 1;
    }
    platform::restoreTerminationSignals();
    return ExitStatusFor(exitCode);
}
