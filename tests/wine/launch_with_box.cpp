// Test support for the runs under Wine: starts a Windows program with a
// command line a shell cannot give it, answers the error box it shows, and
// reports what the box said and the program's exit code.
//
//   talvek_wine_launch.exe PROGRAM [ARGUMENT...]
//
// In the arguments, "{D800}" stands for that UTF-16 unit alone (half of a
// pair, with no other half).  Prints "box: <text>" (UTF-8) for every box the
// program shows and "code=<exit code>" at its end; exits 2 when the program
// does not end within 60 s.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

void print(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    out += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

struct Search {
    DWORD process;
    HWND box;
};

BOOL CALLBACK findBox(HWND window, LPARAM data) {
    Search& s = *reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t kind[32] = {};
    GetClassNameW(window, kind, 32);
    if (owner == s.process && IsWindowVisible(window) && std::wstring(kind) == L"#32770") {
        s.box = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 2) {
        print(L"usage: talvek_wine_launch.exe PROGRAM [ARGUMENT...]");
        return 2;
    }
    std::wstring line = L"\"" + std::wstring(args[1]) + L"\"";
    for (int i = 2; i < count; ++i) {
        std::wstring a = args[i];
        for (size_t at; (at = a.find(L"{D800}")) != std::wstring::npos;)
            a.replace(at, 6, 1, wchar_t(0xD800));
        line += L" " + a;
    }
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                        &child)) {
        print(L"cannot start the program: error " + std::to_wstring(GetLastError()));
        return 2;
    }
    for (int waited = 0; WaitForSingleObject(child.hProcess, 100) == WAIT_TIMEOUT; ++waited) {
        if (waited > 600) {
            TerminateProcess(child.hProcess, 1);
            print(L"the program did not end");
            return 2;
        }
        Search s{child.dwProcessId, nullptr};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&s));
        if (!s.box) continue;
        wchar_t text[1024] = {};
        GetDlgItemTextW(s.box, 0xFFFF, text, 1024);  // a message box's text
        print(L"box: " + std::wstring(text));
        PostMessageW(s.box, WM_COMMAND, IDOK, 0);
        Sleep(200);
    }
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    print(L"code=" + std::to_wstring(code));
    return 0;
}
