#pragma once
// Where a session's status texts, progress and ending go: the one thing a
// front end implements to show a download.
#include <string>

namespace talvek {

// Called on the thread that runs the session's body; an implementation hands
// the values over to whoever shows them and returns at once.
class SessionSink {
  public:
    virtual ~SessionSink() = default;
    // A status text (UTF-8).
    virtual void statusText(const std::string& text) = 0;
    // A progress value in percent, 0 to 100.
    virtual void progress(int percent) = 0;
    // The download has ended with result `code`, after its last status text
    // and the pause that lets it be read.
    virtual void finished(int /*code*/) {}
    // What the user can do about the failure the download is ending with
    // (a port that would not open); comes before the last status text.
    virtual void advice(const std::string& /*text*/) {}
};

}  // namespace talvek
