#pragma once
// What the transfer window takes from the command line, and the start-up
// steps around it that need no window: reading the options, configuring the
// trace log, tracing the version and the command line, and completing the
// Options word at activation.
#include <cstdint>
#include <string>
#include <vector>

struct TFormSettings {
    std::wstring OutputFile = L"TalvekDownload.xml";
    std::wstring PortName = L"\\\\.\\COM1";
    int WindowTop = -1;
    int WindowLeft = -1;
    int Delay = 6;
    bool ShowGradient = true;
    bool HideCancel = false;
    uint32_t Options = 0;  // complete after CompleteForWorker
};

// Window construction steps 2 to 9: defaults, options, trace configuration,
// the "Version = %s" and "CommandLine = %s " lines.  Throws on a bad value.
TFormSettings ReadFormSettings(const std::string& commandLine);

// First activation: normalises the port name and composes the Options word.
void CompleteForWorker(TFormSettings& settings);

// The command-line text a Windows program would have been handed for these
// arguments: joined by single blanks, an argument with a blank (or an empty
// one) quoted (the value after ':' or '=' of an option, else the whole).
std::string CommandLineText(const std::vector<std::string>& arguments);
