#pragma once
// TsAPIThread: the download worker on its own QThread.  Status texts and
// progress travel to the GUI thread as two custom events posted to the
// application, each carrying its value; the window's application-wide event
// filter shows them.
#include <QEvent>
#include <QString>
#include <QThread>
#include <memory>

#include "app/download_worker.h"

// The status-text event (the worker's WM_USER): carries the text.
class TStatusEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User);
    explicit TStatusEvent(QString text) : QEvent(Kind), text_(std::move(text)) {}
    const QString& Text() const { return text_; }

  private:
    QString text_;
};

// The progress event (the worker's WM_USER + 1): carries the percentage.
class TProgressEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User + 1);
    explicit TProgressEvent(int percent) : QEvent(Kind), percent_(percent) {}
    int Percent() const { return percent_; }

  private:
    int percent_;
};

class TsAPIThread : public QThread, private TWorkerSink {
  public:
    // Created not started (the framework's suspended creation).
    explicit TsAPIThread(TDriverFactory drivers = DefaultDriverFactory());
    // Requests the end and waits for it, as the framework thread does.
    ~TsAPIThread() override;

    void Set(const std::wstring& portName, const std::wstring& outputFile, int delay,
             uint32_t options) {
        core_.Set(portName, outputFile, delay, options);
    }
    void Resume() { start(); }
    // The terminate request: sets the drivers' cancel flag.
    void Terminate() { core_.RequestCancel(); }
    bool Terminated() const { return core_.cancelFlag().load(); }
    // Waits for the thread to end; returns its result.
    int WaitFor();
    bool Done() const { return core_.done(); }
    int ReturnValue() const { return core_.returnValue(); }

  protected:
    void run() override;

  private:
    void StatusText(const std::string& text) override;
    void Progress(int percent) override;

    TDownloadWorker core_;
};
