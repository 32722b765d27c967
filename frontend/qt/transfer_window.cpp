#include "frontend/qt/transfer_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

#include "frontend/qt/gradient_background.h"
#include "frontend/qt/progress_gauge.h"
#include "platform/console.h"

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

bool hasDisplay() {
    const QString name = QGuiApplication::platformName();
    return name != QLatin1String("offscreen") && name != QLatin1String("minimal");
}

TransferWindow::TransferWindow(const std::string& commandLine, SessionSetup setup)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      terminalLine_(platform::writeStandardError) {
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

    // 2 to 10. Settings, trace log, version and worker: the session's.
    session_ = std::make_unique<Session>(commandLine, sink_, std::move(setup));
    sequence_ = std::make_unique<WindowSequence>(*session_);
    const TransferSettings& settings = session_->settings();

    // 11. Placement.
    if (settings.windowTop >= 0 && settings.windowLeft >= 0) {
        move(settings.windowLeft, settings.windowTop);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    // 12. Gradient and Cancel.
    gradient->setVisible(settings.showGradient);
    if (settings.hideCancel) {
        closeButton->hide();
        resize(300, 85);
    }

    // 13. The application-wide hook for the worker's events.
    qApp->installEventFilter(this);

    terminal_ = platform::isTerminal(2);
}

TransferWindow::~TransferWindow() {
    qApp->removeEventFilter(this);
    sequence_.reset();
    if (terminal_) terminalLine_.end();
}

bool TransferWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !session_->started()) {
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
    session_->shown();
    if (!session_->settings().showGradient) {
        gradient->hide();
        repaint();
    }
}

void TransferWindow::formActivate() {
    if (session_->started()) return;  // a later activation
    progressBar->setShowText(false);
    repaint();
    progressBar->setShowText(true);

    // The GUI stays alive until the download is done or collected by a
    // close, and for the moment after.
    const bool started = sequence_->activate([](bool wait) {
        QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents
                                             : QEventLoop::AllEvents);
        return true;
    });
    if (!started) return;  // closed before it could start
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

void TransferWindow::closeButtonClick() {
    session_->cancelPressed();
    close();
}

void TransferWindow::closeEvent(QCloseEvent* e) {
    formClose();
    e->accept();
    emit Closed();
}

void TransferWindow::formClose() {
    sequence_->close();
}

bool TransferWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == StatusEvent::Kind) {
        statusInfo->setText(static_cast<StatusEvent*>(e)->text());
        statusInfo->repaint();
        if (terminal_) terminalLine_.status(statusInfo->text().toStdString());
        return true;
    }
    if (e->type() == ProgressEvent::Kind) {
        progressBar->setProgress(static_cast<ProgressEvent*>(e)->percent());
        progressBar->repaint();
        if (terminal_) terminalLine_.progress(progressBar->percent());
        return true;
    }
    if (e->type() == AdviceEvent::Kind) {
        // The trace has it; a user without a display reads it on standard error.
        if (!hasDisplay()) {
            const std::string text = static_cast<AdviceEvent*>(e)->text().toStdString();
            if (terminal_)
                terminalLine_.note(text);
            else
                platform::writeStandardError(text + "\n");
        }
        return true;
    }
    if (e->type() == FinishedEvent::Kind) return true;  // only wakes formActivate's loop
    return QWidget::eventFilter(watched, e);
}

void TransferWindow::cancelBySignal(int signal) {
    session_->signalReceived(signal);
    close();
}

}  // namespace talvek
