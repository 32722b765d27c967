#include "app/gui_transfer_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

#include "app/gui_worker_thread.h"
#include "app/version_information.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/os.h"
#include "trace/trace.h"
#include "ui/gradient.h"
#include "ui/xgauge.h"

#ifndef TALVEK_MAKERS_NOTICE
#define TALVEK_MAKERS_NOTICE "(C) Talvek Oy"
#endif

const char* const MakersNotice = TALVEK_MAKERS_NOTICE;

QString ApplicationTitle() {
    return QStringLiteral("Talvek XML Downloader ") + QString::fromUtf8(MakersNotice);
}

namespace {

QString Caption() {
    return QStringLiteral("  Talvek Downloader") + QString(21, QLatin1Char(' ')) +
           QString::fromUtf8(MakersNotice);
}

}  // namespace

TTransferForm::TTransferForm(const std::string& commandLine, TDriverFactory drivers)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    // 1. The designed layout.
    setWindowTitle(Caption());
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

    Gradient = new TGradient(this);
    Gradient->setGeometry(rect());
    Gradient->SetBeginColor(Qt::white);
    Gradient->SetEndColor(SkyBlue());
    Gradient->SetShift(-22);

    StatusInfo = new QLabel(QStringLiteral("Transfer Data"), this);
    StatusInfo->setGeometry(8, 4, 274, 13);
    StatusInfo->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    StatusInfo->setAutoFillBackground(false);
    StatusInfo->setAttribute(Qt::WA_TranslucentBackground);
    StatusInfo->setFont(font);

    ProgressBar = new TxGauge(this);
    ProgressBar->setGeometry(8, 23, 274, 17);
    ProgressBar->SetRange(0, 100);
    ProgressBar->SetBackColor(Cream());

    CloseButton = new QPushButton(QStringLiteral("Cancel"), this);
    CloseButton->setGeometry(116, 48, 55, 21);
    CloseButton->setDefault(true);
    CloseButton->setFocus();
    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });

    // 2 to 9. Defaults, command line, trace log, version.  The program's
    // own file is read for the version, whatever path it was started by.
    settings_.Load(commandLine);
    VersionInformation version(platform::ownExecutablePath().c_str());
    settings_.ConfigureTrace();
    settings_.TraceStart(version.FileVersion());

    // 10. The worker, not started yet.
    worker_ = std::make_unique<TsAPIThread>(std::move(drivers));

    // 11. Placement.
    if (settings_.WindowTop >= 0 && settings_.WindowLeft >= 0) {
        move(settings_.WindowLeft, settings_.WindowTop);
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    // 12. Gradient and Cancel.
    Gradient->setVisible(settings_.ShowGradient);
    if (settings_.HideCancel) {
        CloseButton->hide();
        resize(300, 85);
    }

    // 13. The application-wide hook for the worker's events.
    qApp->installEventFilter(this);

    terminal_ = platform::isTerminal(2);
}

TTransferForm::~TTransferForm() {
    qApp->removeEventFilter(this);
    worker_.reset();
    if (terminal_ && !terminalStatus_.isEmpty()) platform::writeStandardError("\n");
}

bool TTransferForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        // Run the start sequence from the message loop, not inside the
        // activation itself.
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    } else if (e->type() == QEvent::Resize && Gradient) {
        Gradient->setGeometry(rect());
    }
    return QWidget::event(e);
}

void TTransferForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void TTransferForm::FormShow() {
    if (settings_.ShowGradient) {
        Trace::Write(Trace::Info, "Gradient=\"ON\"");
    } else {
        Trace::Write(Trace::Info, "Gradient=\"OFF\"");
        Gradient->hide();
        repaint();
    }
}

void TTransferForm::FormActivate() {
    ProgressBar->SetShowText(false);
    repaint();
    ProgressBar->SetShowText(true);

    settings_.NormalisePort();
    options_ = settings_.ComposeOptions();
    worker_->Set(settings_.PortName, settings_.OutputFile, settings_.Delay, options_);
    worker_->Resume();

    // Keep the GUI alive until the worker is done (or collected by a close).
    QTimer tick;
    tick.start(20);
    while (worker_ && !worker_->Done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    tick.stop();

    PumpFor(1500);
    // After a Cancel the window is already closed; closing it again only
    // runs the close handler once more (Qt sends no close event to a
    // hidden window).
    if (isVisible()) {
        close();
    } else {
        FormClose();
        emit Closed();
    }
    finished_ = true;
}

void TTransferForm::PumpFor(uint32_t ms) {
    const uint64_t until = platform::nowMs() + ms;
    while (platform::nowMs() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        platform::sleepMs(10);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TTransferForm::CloseButtonClick() {
    Trace::Write(Trace::Info, "CloseButton Pressed");
    close();
}

void TTransferForm::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
    emit Closed();
}

void TTransferForm::FormClose() {
    if (worker_) {
        worker_->Terminate();
        exitCode_ = worker_->WaitFor();
        worker_.reset();
    }
    Trace::Write(Trace::Info, "FormClose(): Returning %d", exitCode_);
}

bool TTransferForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == TStatusEvent::Kind) {
        StatusInfo->setText(static_cast<TStatusEvent*>(e)->Text());
        StatusInfo->repaint();
        terminalStatus_ = StatusInfo->text();
        ShowOnTerminal();
        return true;
    }
    if (e->type() == TProgressEvent::Kind) {
        ProgressBar->SetProgress(static_cast<TProgressEvent*>(e)->Percent());
        ProgressBar->repaint();
        terminalPercent_ = ProgressBar->Percent();
        ShowOnTerminal();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TTransferForm::ShowOnTerminal() {
    if (!terminal_ || terminalStatus_.isEmpty()) return;
    QString line = QStringLiteral("\r[%1%] %2\x1b[K")
                       .arg(QString::number(terminalPercent_).rightJustified(3), terminalStatus_);
    platform::writeStandardError(line.toStdString());
}

void TTransferForm::CancelBySignal(int signal) {
    Trace::Write(Trace::Info, "Signal %d Received", signal);
    close();
}
