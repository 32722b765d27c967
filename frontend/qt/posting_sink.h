#pragma once
// The sink that carries the session's status texts, progress and ending
// from the body's thread to the GUI thread as custom events posted to the
// application, each with its value; the window's application-wide event
// filter shows them.
#include <QEvent>
#include <QString>

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

}  // namespace talvek
