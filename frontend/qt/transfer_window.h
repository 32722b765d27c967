#pragma once
// TransferWindow: the program's one window.  It starts the worker on its first
// activation, shows the worker's status texts and progress, keeps the GUI
// alive while the worker runs, closes itself a moment after the worker is
// done, and on every close stops and collects the worker, whose result
// becomes the exit code.
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <string>

#include "session/download_worker.h"
#include "session/transfer_settings.h"

namespace talvek {

class GradientBackground;
class ProgressGauge;
class DownloadThread;

// The maker's notice in the caption and the application title.
extern const char* const MakersNotice;
// "Talvek XML Downloader" followed by the maker's notice.
QString applicationTitle();

class TransferWindow : public QWidget {
    Q_OBJECT
  public:
    // Construction steps 1 to 13: reads the command line (a bad g, dv, v or d
    // value throws ConversionError), configures the trace log, reads the
    // program's version, creates the worker with `drivers`, places the window
    // and installs the application-wide event filter.
    explicit TransferWindow(const std::string& commandLine,
                            DriverFactory drivers = defaultDriverFactory());
    ~TransferWindow() override;

    // The process result (the worker's result once the window has closed).
    int exitCode() const { return exitCode_; }
    // True once the start sequence has run to its end.
    bool finished() const { return finished_; }
    // The worker, or null once it has been collected.
    DownloadThread* worker() const { return worker_.get(); }
    const TransferSettings& settings() const { return settings_; }
    // SIGINT or SIGTERM: acts as the Cancel button.
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
    // Pumps GUI messages for `ms` milliseconds of the program's clock.
    void pumpFor(uint32_t ms);
    void showOnTerminal();

    TransferSettings settings_;
    uint32_t options_ = 0;
    std::unique_ptr<DownloadThread> worker_;
    int exitCode_ = 0;
    bool activated_ = false;
    bool finished_ = false;
    bool terminal_ = false;
    QString terminalStatus_;
    int terminalPercent_ = 0;
};

}  // namespace talvek
