#pragma once
// DownloadThread: the download worker on its own QThread.  Status texts and
// progress travel to the GUI thread as two custom events posted to the
// application, each carrying its value; the window's application-wide event
// filter shows them.
#include <QEvent>
#include <QString>
#include <QThread>
#include <memory>

#include "session/download_worker.h"

namespace talvek {

// The status-text event (the worker's WM_USER): carries the text.
class StatusEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User);
    explicit StatusEvent(QString text) : QEvent(Kind), text_(std::move(text)) {}
    const QString& text() const { return text_; }

  private:
    QString text_;
};

// The progress event (the worker's WM_USER + 1): carries the percentage.
class ProgressEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User + 1);
    explicit ProgressEvent(int percent) : QEvent(Kind), percent_(percent) {}
    int percent() const { return percent_; }

  private:
    int percent_;
};

class DownloadThread : public QThread, private WorkerSink {
  public:
    // Created not started (the framework's suspended creation).
    explicit DownloadThread(DriverFactory drivers = defaultDriverFactory());
    // Requests the end and waits for it, as the framework thread does.
    ~DownloadThread() override;

    void set(const std::string& portName, const std::string& outputFile, int delay,
             uint32_t options) {
        core_.set(portName, outputFile, delay, options);
    }
    void resume() { start(); }
    // The terminate request: sets the drivers' cancel flag.
    void terminate() { core_.requestCancel(); }
    bool terminated() const { return core_.cancelFlag().load(); }
    // Waits for the thread to end; returns its result.
    int waitFor();
    bool done() const { return core_.done(); }
    int returnValue() const { return core_.returnValue(); }

  protected:
    void run() override;

  private:
    void statusText(const std::string& text) override;
    void progress(int percent) override;

    DownloadWorker core_;
};

}  // namespace talvek
