#include "frontend/win32/transfer_window.h"

#include <cstdio>
#include <stdexcept>

#include "frontend/paint/paint.h"
#include "platform/console.h"
#include "platform/os.h"
#include "platform/win32/wide_text.h"

namespace talvek {

#ifndef TALVEK_MAKERS_NOTICE
#define TALVEK_MAKERS_NOTICE "(C) Talvek Oy"
#endif

std::wstring applicationTitle() {
    return L"Talvek XML Downloader " + platform::toWide(TALVEK_MAKERS_NOTICE);
}

std::wstring windowCaption() {
    return L"  Talvek Downloader" + std::wstring(21, L' ') + platform::toWide(TALVEK_MAKERS_NOTICE);
}

namespace {

constexpr wchar_t ClassName[] = L"TalvekTransferWindow";

// The designed layout, in client coordinates at 96 pixels per inch.
constexpr int ClientWidth = 292;
constexpr int ClientHeight = 73;
constexpr int HeightWithoutCancel = 85;  // outer height with option nc
constexpr int DesignedHeight = 100;      // outer height of the design
constexpr RECT StatusRect{8, 4, 8 + 274, 4 + 13};
constexpr RECT GaugeRect{8, 23, 8 + 274, 23 + 17};
constexpr RECT CancelRect{116, 48, 116 + 55, 48 + 21};

COLORREF colorRef(paint::Rgb c) {
    return RGB(c.red, c.green, c.blue);
}

void registerClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    // The window takes its own procedure once it knows its object.
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = ClassName;
    registered = RegisterClassExW(&wc) != 0;
}

}  // namespace

Win32TransferWindow::Win32TransferWindow(const std::string& commandLine, SessionSetup setup)
    : terminalLine_(platform::writeStandardError) {
    // 1. The designed layout.
    registerClass();
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
    RECT outer{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    window_ = CreateWindowExW(exStyle, ClassName, windowCaption().c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window_)
        throw NoWindow("the transfer window cannot be made: " +
                       platform::errorText(static_cast<int>(GetLastError())));
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&windowProc));
    font_ = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    cancelButton_ = CreateWindowExW(
        0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
        CancelRect.left, CancelRect.top, CancelRect.right - CancelRect.left,
        CancelRect.bottom - CancelRect.top, window_, reinterpret_cast<HMENU>(IDCANCEL),
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(cancelButton_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    try {
        // 2 to 10. Settings, trace log, version and worker: the session's.
        SessionSink& sink = *this;
        session_ = std::make_unique<Session>(commandLine, sink, std::move(setup));
        sequence_ = std::make_unique<WindowSequence>(*session_);
    } catch (...) {
        DestroyWindow(window_);
        DeleteObject(font_);
        throw;
    }
    const TransferSettings& settings = session_->settings();

    // 12. Gradient and Cancel (before placing: -nc changes the height).
    gradient_ = settings.showGradient;
    if (settings.hideCancel) {
        ShowWindow(cancelButton_, SW_HIDE);
        const int height = (outer.bottom - outer.top) - (DesignedHeight - HeightWithoutCancel);
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // 11. Placement.
    place();

    terminal_ = platform::isTerminal(2);
}

Win32TransferWindow::~Win32TransferWindow() {
    sequence_.reset();
    discardPosted();
    if (IsWindow(window_)) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
    if (terminal_) terminalLine_.end();
}

void Win32TransferWindow::place() {
    const TransferSettings& settings = session_->settings();
    RECT r;
    GetWindowRect(window_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x, y;
    if (settings.windowTop >= 0 && settings.windowLeft >= 0) {
        x = settings.windowLeft;
        y = settings.windowTop;
    } else {
        RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        x = area.left + (area.right - area.left - w) / 2;
        y = area.top + (area.bottom - area.top - h) / 2;
    }
    SetWindowPos(window_, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

int Win32TransferWindow::run() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    // Showing activates the window; should the system not activate it (no
    // window manager), the start sequence runs all the same.
    if (!startPosted_) {
        startPosted_ = true;
        PostMessageW(window_, StartMessage, 0, 0);
    }
    MSG m;
    while (!quit_ && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window_, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    return session_->exitCode();
}

LRESULT CALLBACK Win32TransferWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam,
                                                 LPARAM lParam) {
    auto* self = reinterpret_cast<Win32TransferWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT Win32TransferWindow::handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SHOWWINDOW:
            if (wParam && !closed_) formShow();
            break;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !startPosted_) {
                // Run the start sequence from the message loop, not inside
                // the activation itself.
                startPosted_ = true;
                PostMessageW(window_, StartMessage, 0, 0);
            }
            break;
        case StartMessage:
            formActivate();
            return 0;
        case StatusMessage: {
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            if (text) {
                status_ = platform::toWide(*text);
                InvalidateRect(window_, &StatusRect, FALSE);
                UpdateWindow(window_);
                if (terminal_) terminalLine_.status(*text);
            }
            return 0;
        }
        case ProgressMessage:
            progress_ = static_cast<int>(wParam);
            InvalidateRect(window_, &GaugeRect, FALSE);
            UpdateWindow(window_);
            if (terminal_) terminalLine_.progress(paint::gaugePercent(progress_, 0, 100));
            return 0;
        case FinishedMessage:
            return 0;  // only wakes the start sequence's wait
        case AdviceMessage: {
            // The trace has it; a console that started the program shows it too.
            std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
            if (text && terminal_) terminalLine_.note(*text);
            return 0;
        }
        case StopMessage:
            session_->signalReceived(static_cast<int>(wParam));
            close();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && reinterpret_cast<HWND>(lParam) == cancelButton_) {
                closeButtonClick();
                return 0;
            }
            break;
        case WM_CLOSE:
            // The system menu, Alt+F4, the title bar's close box: a cancel.
            close();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers everything
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window_, &ps);
            RECT client;
            GetClientRect(window_, &client);
            // Drawn off screen first, so the status line never flickers.
            HDC memory = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
            HGDIOBJ old = SelectObject(memory, bitmap);
            paint(memory);
            BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            EndPaint(window_, &ps);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window_, msg, wParam, lParam);
}

namespace {

// Posts a text with its message; the receiver deletes it.
void postText(HWND window, UINT message, const std::string& text) {
    auto* copy = new std::string(text);
    if (!PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
}

}  // namespace

void Win32TransferWindow::statusText(const std::string& text) {
    postText(window_, StatusMessage, text);
}

void Win32TransferWindow::advice(const std::string& text) {
    postText(window_, AdviceMessage, text);
}

void Win32TransferWindow::progress(int percent) {
    PostMessageW(window_, ProgressMessage, static_cast<WPARAM>(percent), 0);
}

void Win32TransferWindow::finished(int) {
    PostMessageW(window_, FinishedMessage, 0, 0);
}

void Win32TransferWindow::formShow() {
    session_->shown();
    InvalidateRect(window_, nullptr, FALSE);
}

void Win32TransferWindow::formActivate() {
    if (session_->started() || closed_) return;  // a later activation
    inStart_ = true;
    showGaugeText_ = false;
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    showGaugeText_ = true;

    // The window stays alive until the download is done or collected by a
    // close, and for the moment after.
    const bool started = sequence_->activate([this](bool wait) {
        if (quit_) return false;
        if (wait) MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
        pumpPending();
        return !quit_;
    });
    inStart_ = false;
    if (!started) return;
    // After a Cancel the window is closed already; closing it again only
    // runs the close handler once more.
    close();
}

void Win32TransferWindow::pumpPending() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            quit_ = true;
            PostQuitMessage(static_cast<int>(m.wParam));  // for the outer loop
            return;
        }
        if (!IsDialogMessageW(window_, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
}

void Win32TransferWindow::closeButtonClick() {
    session_->cancelPressed();
    close();
}

void Win32TransferWindow::close() {
    formClose();
    if (!closed_) {
        closed_ = true;
        ShowWindow(window_, SW_HIDE);
    }
    // While the start sequence runs, it ends the window itself.
    if (!inStart_ && IsWindow(window_)) {
        discardPosted();
        DestroyWindow(window_);
    }
}

void Win32TransferWindow::formClose() {
    sequence_->close();
}

void Win32TransferWindow::discardPosted() {
    MSG m;
    for (UINT message : {StatusMessage, AdviceMessage})
        while (PeekMessageW(&m, window_, message, message, PM_REMOVE))
            delete reinterpret_cast<std::string*>(m.lParam);
}

void Win32TransferWindow::paint(HDC dc) {
    RECT client;
    GetClientRect(window_, &client);
    const int w = client.right, h = client.bottom;
    if (gradient_ && w > 0 && h > 0) {
        if (w != gradientWidth_ || h != gradientHeight_) {
            gradientPixels_.resize(static_cast<size_t>(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const paint::Rgb c = paint::diamondColor(
                        x, y, w, h, paint::White, paint::SkyBlue, paint::GradientShift);
                    // A 32-bit DIB stores blue, green, red, unused.
                    gradientPixels_[static_cast<size_t>(y) * w + x] =
                        static_cast<COLORREF>((c.red << 16) | (c.green << 8) | c.blue);
                }
            gradientWidth_ = w;
            gradientHeight_ = h;
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, h, gradientPixels_.data(), &info,
                          DIB_RGB_COLORS);
    } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    }

    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT status = StatusRect;
    DrawTextW(dc, status_.c_str(), static_cast<int>(status_.size()), &status,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    paintGauge(dc, GaugeRect);
    SelectObject(dc, oldFont);
}

void Win32TransferWindow::paintGauge(HDC dc, const RECT& r) {
    RECT edge = r;
    DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
    RECT inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    HBRUSH back = CreateSolidBrush(colorRef(paint::Cream));
    FillRect(dc, &inner, back);
    DeleteObject(back);
    const int filled = paint::gaugeFill(inner.right - inner.left, progress_, 0, 100);
    RECT bar{inner.left, inner.top, inner.left + filled, inner.bottom};
    HBRUSH navy = CreateSolidBrush(colorRef(paint::Navy));
    FillRect(dc, &bar, navy);
    DeleteObject(navy);
    if (!showGaugeText_) return;
    // The percentage reads on both parts: dark over the background, cream
    // over the bar.
    wchar_t label[16];
    std::swprintf(label, 16, L"%d%%", paint::gaugePercent(progress_, 0, 100));
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text = inner;
    DrawTextW(dc, label, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
    SetTextColor(dc, colorRef(paint::Cream));
    text = inner;
    DrawTextW(dc, label, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, saved);
}

}  // namespace talvek
