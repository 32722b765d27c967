#include "app/form_settings.h"

#include "trace/trace.h"

TFormSettings ReadFormSettings(const std::string& commandLine) {
    TFormSettings s;
    Trace::SetFile("CDBLOG", 0);
    Trace::SetLevel(4);
    Trace::Write(Trace::Info, "Version = %s", "");
    Trace::Write(Trace::Debug, "CommandLine = %s ", commandLine.c_str());
    return s;
}

void CompleteForWorker(TFormSettings& s) {
    if (s.PortName.compare(0, 3, L"COM") == 0) s.PortName = L"\\\\.\\" + s.PortName;
    s.Options = 0x2000 | 0x4000 | 0x20000 | 0x0F;
}

std::string CommandLineText(const std::vector<std::string>& arguments) {
    std::string text;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (i) text += ' ';
        if (!a.empty() && a.find(' ') == std::string::npos) {
            text += a;
            continue;
        }
        std::string::size_type sep = std::string::npos;
        if (i > 0 && !a.empty() && (a[0] == '-' || a[0] == '/')) sep = a.find_first_of(":=");
        if (sep != std::string::npos && a.find(' ') > sep) {
            text += a.substr(0, sep + 1) + '"' + a.substr(sep + 1) + '"';
        } else {
            text += '"' + a + '"';
        }
    }
    return text;
}
