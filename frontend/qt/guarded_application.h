#pragma once
// The application object, with one guard: no exception leaves the delivery
// of an event.  Qt's event loop, and the C libraries under it, cannot pass
// an exception on (the process would abort), so the first one that escapes a
// handler is kept, the given reaction runs (the window stops the download
// and closes), and the message loop ends; the entry then rethrows it into
// its own handlers, as for an exception from the loop.
#include <QApplication>
#include <exception>
#include <functional>

namespace talvek {

class GuardedApplication : public QApplication {
  public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs, once, for the first exception that escapes a handler.
    void onEscape(std::function<void()> reaction) { reaction_ = std::move(reaction); }
    // The first exception that escaped a handler, or null.
    std::exception_ptr escaped() const { return escaped_; }
    // Throws that exception, if there was one.
    void rethrowEscaped() const;

  private:
    std::exception_ptr escaped_;
    std::function<void()> reaction_;
};

}  // namespace talvek
