#pragma once
// TransferWindow: the program's one window.  It renders a Session (status
// line, gauge, gradient, Cancel), runs the session's body on a thread from
// its first activation, keeps the GUI alive meanwhile, closes itself a moment
// after the download is done, and forwards Cancel, signals and closing to the
// session, whose result becomes the exit code.
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <string>

#include "frontend/qt/posting_sink.h"
#include "frontend/terminal/terminal_frontend.h"
#include "session/session.h"
#include "session/window_sequence.h"

namespace talvek {

class GradientBackground;
class ProgressGauge;

// The maker's notice in the caption and the application title.
extern const char* const MakersNotice;
// "Talvek XML Downloader" followed by the maker's notice.
QString applicationTitle();

// Whether the window is on a screen (not the offscreen or minimal platform).
bool hasDisplay();

class TransferWindow : public QWidget {
    Q_OBJECT
  public:
    // The designed layout, then the session's start-up (a bad g, dv, v or d
    // value throws ConversionError), then placement and the options that
    // change the look, and the application-wide event filter.
    explicit TransferWindow(const std::string& commandLine, SessionSetup setup = {});
    ~TransferWindow() override;

    // The session's result code (fixed once the window has closed).
    int exitCode() const { return session_->exitCode(); }
    int exitStatus() const { return session_->exitStatus(); }
    // True once the start sequence has run to its end.
    bool finished() const { return finished_; }
    // Whether the session's body runs on its thread (from the first
    // activation until it is collected by closing).
    bool bodyRunning() const { return sequence_ && sequence_->running(); }
    const Session& session() const { return *session_; }
    // A stop signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT): acts as the Cancel button.
    void cancelBySignal(int signal);

    GradientBackground* gradient = nullptr;
    QLabel* statusInfo = nullptr;
    ProgressGauge* progressBar = nullptr;
    QPushButton* closeButton = nullptr;

  signals:
    // The window has closed; as the main form this ends the message loop.
    void Closed();

  protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void formShow();
    void formActivate();
    void closeButtonClick();
    void formClose();

    PostingSink sink_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<WindowSequence> sequence_;
    bool finished_ = false;
    // The status also on standard error, when that is a terminal.
    bool terminal_ = false;
    StatusLine terminalLine_;
};

}  // namespace talvek
