#pragma once
// The transfer window on Windows, drawn with the Win32 API: the program's one
// window.  It renders a Session (status line, gauge, gradient, Cancel), runs
// the session's body on a std::thread from its first activation, keeps
// pumping messages meanwhile, closes itself a moment after the download is
// done, and forwards Cancel, console stop requests and closing to the
// session, whose result becomes the exit code.
//
// The body's thread never touches the window: status texts, progress and the
// end arrive as posted messages (WM_USER to WM_USER + 3), a text carried by
// the message itself.
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "frontend/terminal/terminal_frontend.h"
#include "session/session.h"
#include "session/window_sequence.h"

namespace talvek {

// "Talvek XML Downloader" followed by the maker's notice (error boxes).
std::wstring applicationTitle();
// "  Talvek Downloader", 21 blanks, the maker's notice.
std::wstring windowCaption();

// Window messages between the body's thread and the window.
enum : UINT {
    StatusMessage = WM_USER,        // lParam: a std::string* the window deletes
    ProgressMessage = WM_USER + 1,  // wParam: percent
    FinishedMessage = WM_USER + 2,  // wakes the waiting start sequence
    AdviceMessage = WM_USER + 3,    // lParam: a std::string* the window deletes
    StartMessage = WM_APP,          // runs the start sequence from the loop
    StopMessage = WM_APP + 1,       // wParam: console event, acts as Cancel (any thread posts it)
};

// The transfer window could not be made (no desktop to put it on); nothing
// of the session has started.
class NoWindow : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Win32TransferWindow : private SessionSink {
  public:
    // The designed layout (NoWindow when the window cannot be made), then
    // the session's start-up (a bad g, dv, v or d value throws
    // ConversionError), then placement and the options that change the look.
    explicit Win32TransferWindow(const std::string& commandLine, SessionSetup setup = {});
    ~Win32TransferWindow() override;
    Win32TransferWindow(const Win32TransferWindow&) = delete;
    Win32TransferWindow& operator=(const Win32TransferWindow&) = delete;

    // Shows the window (which activates it and so starts the download) and
    // runs the message loop until the window has closed.  Returns the result
    // code of the session.
    int run();

    HWND handle() const { return window_; }
    const Session& session() const { return *session_; }
    int exitCode() const { return session_->exitCode(); }

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);

    // SessionSink, on the body's thread: post and return.
    void statusText(const std::string& text) override;
    void progress(int percent) override;
    void finished(int code) override;
    void advice(const std::string& text) override;

    void formShow();
    void formActivate();
    void closeButtonClick();
    void close();
    void formClose();
    // Handles what is waiting in the queue; notes a WM_QUIT for the outer loop.
    void pumpPending();
    void place();
    void paint(HDC dc);
    void paintGauge(HDC dc, const RECT& r);
    // Drops the texts of status messages nobody will show.
    void discardPosted();

    HWND window_ = nullptr;
    HWND cancelButton_ = nullptr;
    HFONT font_ = nullptr;
    std::unique_ptr<Session> session_;
    std::unique_ptr<WindowSequence> sequence_;
    std::wstring status_ = L"Transfer Data";
    int progress_ = 0;
    bool showGaugeText_ = true;
    bool gradient_ = true;
    bool startPosted_ = false;
    bool inStart_ = false;
    bool closed_ = false;
    bool quit_ = false;
    std::vector<COLORREF> gradientPixels_;  // cached for the client size
    int gradientWidth_ = 0, gradientHeight_ = 0;
    // The status also on the console, when standard error is one.
    bool terminal_ = false;
    StatusLine terminalLine_;
};

}  // namespace talvek
