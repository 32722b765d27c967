#include "frontend/terminal/terminal_frontend.h"

#include <cstdio>

namespace talvek {

StatusLine::StatusLine(Write write) : write_(std::move(write)) {}

void StatusLine::status(const std::string& text) {
    status_ = text;
    show();
}

void StatusLine::progress(int percent) {
    percent_ = percent;
    show();
}

void StatusLine::end() {
    if (!status_.empty()) write_("\n");
}

void StatusLine::note(const std::string& text) {
    write_((status_.empty() ? "" : "\r\x1b[K") + text + "\n");
    show();
}

void StatusLine::show() {
    if (status_.empty()) return;
    char percent[16];
    std::snprintf(percent, sizeof percent, "\r[%3d%%] ", percent_);
    write_(percent + status_ + "\x1b[K");
}

TerminalFrontend::TerminalFrontend(const std::string& commandLine, StatusLine::Write write,
                                   SessionSetup setup)
    : line_(std::move(write)), session_(commandLine, *this, std::move(setup)) {}

int TerminalFrontend::run() {
    session_.start();
    session_.run();
    line_.end();
    session_.close();
    return session_.exitStatus();
}

void TerminalFrontend::cancel(int signal) {
    session_.signalReceived(signal);
    session_.cancel();
}

void TerminalFrontend::statusText(const std::string& text) {
    line_.status(text);
}

void TerminalFrontend::progress(int percent) {
    line_.progress(percent);
}

void TerminalFrontend::advice(const std::string& text) {
    line_.note(text);
}

}  // namespace talvek
