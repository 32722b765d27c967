#pragma once
// A download without a window: the session's status text and percentage on
// one updating line of a terminal.
#include <functional>
#include <optional>
#include <string>

#include "session/session.h"

namespace talvek {

// "\r[ 45%] Downloading Dive Profiles" followed by erase-to-end-of-line,
// rewritten on every change; nothing until the first status text.
class StatusLine {
  public:
    // Receives each rewrite of the line (one write call's worth).
    using Write = std::function<void(const std::string&)>;
    explicit StatusLine(Write write);
    void status(const std::string& text);
    void progress(int percent);
    // Ends the line, if anything was shown.
    void end();
    // A line of its own above the status line, which is shown again below it.
    void note(const std::string& text);

  private:
    void show();

    Write write_;
    std::string status_;
    int percent_ = 0;
};

class TerminalFrontend : private SessionSink {
  public:
    // Session start-up; a bad g, dv, v or d value throws ConversionError.
    TerminalFrontend(const std::string& commandLine, StatusLine::Write write,
                     SessionSetup setup = {});

    // The whole download on the calling thread (the sink's calls come on
    // it too); returns the exit status.
    int run();
    // A stop signal or console event, from another thread: acts as Cancel.
    void cancel(int signal);

  private:
    void statusText(const std::string& text) override;
    void progress(int percent) override;
    void advice(const std::string& text) override;

    StatusLine line_;
    Session session_;
};

// --help, --version and -list: prints the text on standard output (an error
// on standard error) and returns the exit status; nothing for a download.
std::optional<int> answerInformationRequest(const std::string& commandLine);

}  // namespace talvek
