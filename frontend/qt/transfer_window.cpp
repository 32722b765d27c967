#include "frontend/qt/transfer_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

#include "frontend/qt/download_thread.h"
#include "frontend/qt/gradient_background.h"
#include "frontend/qt/progress_gauge.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/os.h"
#include "session/version_information.h"
#include "trace/trace.h"

namespace talvek {

#ifndef TALVEK_MAKERS_NOTICE
#define TALVEK_MAKERS_NOTICE "(C) Talvek Oy"
#endif

const char* const MakersNotice = TALVEK_MAKERS_NOTICE;

QString applicationTitle() {
    return QStringLiteral("Talvek XML Downloader ") + QString::fromUtf8(MakersNotice);
}

namespace {

QString caption() {
    return QStringLiteral("  Talvek Downloader") + QString(21, QLatin1Char(' ')) +
           QString::fromUtf8(MakersNotice);
}

}  // namespace

TransferWindow::TransferWindow(const std::string& commandLine, DriverFactory drivers)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    // 1. The designed layout.
    setWindowTitle(caption());
    setFixedWidth(300);
    setMinimumHeight(85);
    setMaximumHeight(100);
    resize(300, 100);
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    gradient = new GradientBackground(this);
    gradient->setGeometry(rect());
    gradient->setBeginColor(Qt::white);
    gradient->setEndColor(skyBlue());
    gradient->setShift(-22);

    statusInfo = new QLabel(QStringLiteral("Transfer Data"), this);
    statusInfo->setGeometry(8, 4, 274, 13);
    statusInfo->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    statusInfo->setAutoFillBackground(false);
    statusInfo->setAttribute(Qt::WA_TranslucentBackground);
    statusInfo->setFont(font);

    progressBar = new ProgressGauge(this);
    progressBar->setGeometry(8, 23, 274, 17);
    progressBar->setRange(0, 100);
    progressBar->setBackColor(cream());

    closeButton = new QPushButton(QStringLiteral("Cancel"), this);
    closeButton->setGeometry(116, 48, 55, 21);
    closeButton->setDefault(true);
    closeButton->setFocus();
    connect(closeButton, &QPushButton::clicked, this, [this] { closeButtonClick(); });

    // 2 to 9. Defaults, command line, trace log, version.  The program's
    // own file is read for the version, whatever path it was started by.
    settings_.load(commandLine);
    VersionInformation version(platform::ownExecutablePath().c_str());
    settings_.configureTrace();
    settings_.traceStart(version.fileVersion());

    // 10. The worker, not started yet.
    worker_ = std::make_unique<DownloadThread>(std::move(drivers));

    // 11. Placement.
    if (settings_.windowTop >= 0 && settings_.windowLeft >= 0) {
        move(settings_.windowLeft, settings_.windowTop);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    // 12. Gradient and Cancel.
    gradient->setVisible(settings_.showGradient);
    if (settings_.hideCancel) {
        closeButton->hide();
        resize(300, 85);
    }

    // 13. The application-wide hook for the worker's events.
    qApp->installEventFilter(this);

    terminal_ = platform::isTerminal(2);
}

TransferWindow::~TransferWindow() {
    qApp->removeEventFilter(this);
    worker_.reset();
    if (terminal_ && !terminalStatus_.isEmpty()) platform::writeStandardError("\n");
}

bool TransferWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        // Run the start sequence from the message loop, not inside the
        // activation itself.
        QTimer::singleShot(0, this, [this] { formActivate(); });
    } else if (e->type() == QEvent::Resize && gradient) {
        gradient->setGeometry(rect());
    }
    return QWidget::event(e);
}

void TransferWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    formShow();
}

void TransferWindow::formShow() {
    if (settings_.showGradient) {
        trace::write(trace::Info, "Gradient=\"ON\"");
    } else {
        trace::write(trace::Info, "Gradient=\"OFF\"");
        gradient->hide();
        repaint();
    }
}

void TransferWindow::formActivate() {
    progressBar->setShowText(false);
    repaint();
    progressBar->setShowText(true);

    settings_.normalisePort();
    options_ = settings_.composeOptions();
    worker_->set(settings_.portName, settings_.outputFile, settings_.delay, options_);
    worker_->resume();

    // Keep the GUI alive until the worker is done (or collected by a close).
    QTimer tick;
    tick.start(20);
    while (worker_ && !worker_->done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tick.stop();

    pumpFor(1500);
    // After a Cancel the window is already closed; closing it again only
    // runs the close handler once more (Qt sends no close event to a
    // hidden window).
    if (isVisible()) {
        close();
    } else {
        formClose();
        emit Closed();
    }
    finished_ = true;
}

void TransferWindow::pumpFor(uint32_t ms) {
    const uint64_t until = platform::nowMs() + ms;
    while (platform::nowMs() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        platform::sleepMs(10);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TransferWindow::closeButtonClick() {
    trace::write(trace::Info, "CloseButton Pressed");
    close();
}

void TransferWindow::closeEvent(QCloseEvent* e) {
    formClose();
    e->accept();
    emit Closed();
}

void TransferWindow::formClose() {
    if (worker_) {
        worker_->terminate();
        exitCode_ = worker_->waitFor();
        worker_.reset();
    }
    trace::write(trace::Info, "FormClose(): Returning %d", exitCode_);
}

bool TransferWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == StatusEvent::Kind) {
        statusInfo->setText(static_cast<StatusEvent*>(e)->text());
        statusInfo->repaint();
        terminalStatus_ = statusInfo->text();
        showOnTerminal();
        return true;
    }
    if (e->type() == ProgressEvent::Kind) {
        progressBar->setProgress(static_cast<ProgressEvent*>(e)->percent());
        progressBar->repaint();
        terminalPercent_ = progressBar->percent();
        showOnTerminal();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TransferWindow::showOnTerminal() {
    if (!terminal_ || terminalStatus_.isEmpty()) return;
    QString line = QStringLiteral("\r[%1%] %2\x1b[K")
                       .arg(QString::number(terminalPercent_).rightJustified(3), terminalStatus_);
    platform::writeStandardError(line.toStdString());
}

void TransferWindow::cancelBySignal(int signal) {
    trace::write(trace::Info, "Signal %d Received", signal);
    close();
}

}  // namespace talvek
