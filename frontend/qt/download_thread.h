#pragma once
// The session's body on its own QThread, and the sink that carries its
// status texts, progress and ending to the GUI thread as custom events posted
// to the application, each with its value; the window's application-wide
// event filter shows them.
#include <QEvent>
#include <QString>
#include <QThread>

#include "session/session.h"

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

// The download has ended; wakes a GUI thread that waits for it.
class FinishedEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User + 2);
    FinishedEvent() : QEvent(Kind) {}
};

// What the user can do about the failure: carries the text.
class AdviceEvent : public QEvent {
  public:
    static constexpr QEvent::Type Kind = static_cast<QEvent::Type>(QEvent::User + 3);
    explicit AdviceEvent(QString text) : QEvent(Kind), text_(std::move(text)) {}
    const QString& text() const { return text_; }

  private:
    QString text_;
};

class PostingSink : public SessionSink {
  public:
    void statusText(const std::string& text) override;
    void progress(int percent) override;
    void finished(int code) override;
    void advice(const std::string& text) override;
};

class DownloadThread : public QThread {
  public:
    // Created not started (the framework's suspended creation).
    explicit DownloadThread(Session& session) : session_(session) {}
    // Cancels the body and waits for it, as the framework thread does.
    ~DownloadThread() override;

  protected:
    // The session's body catches everything itself; an exception must
    // never end a QThread (the process would abort).
    void run() override;

  private:
    Session& session_;
};

}  // namespace talvek
