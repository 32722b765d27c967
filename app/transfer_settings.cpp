#include "app/transfer_settings.h"

#include <cctype>
#include <climits>
#include <cstdlib>

#include "app/cmdline.h"
#include "trace/trace.h"

ConversionError::ConversionError(const std::string& value)
    : std::runtime_error("'" + value + "' is not a valid integer value") {}

namespace {

// UTF-8 (the narrow code page here) to wide text; a byte that does not start
// a valid sequence becomes U+FFFD.
std::wstring Widen(const std::string& s) {
    std::wstring out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        bool ok = i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += len;
    }
    return out;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

// Value of an integer option that must convert.
int32_t StrictInt(const char* value) {
    int32_t v;
    if (!TransferSettings::ToInt(value, v)) throw ConversionError(value);
    return v;
}

// Value of a window-position option: -1 when it does not convert.
int32_t LenientInt(const char* value) {
    int32_t v;
    return TransferSettings::ToInt(value, v) ? v : -1;
}

}  // namespace

TransferSettings::TransferSettings()
    : OutputFile(L"TalvekDownload.xml"),
      PortName(L"\\\\.\\COM1"),
      WindowTop(-1),
      WindowLeft(-1),
      Delay(6),
      VersionBits(0),
      ShowGradient(true),
      HideCancel(false),
      FmtOn(true),
      TagsOn(false),
      CodecBits(0x4000),
      UnitsBits(0x20000),
      DeviceMask(0x0F),
      OptionBits(0) {}

bool TransferSettings::ToInt(const std::string& text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    value = static_cast<int32_t>(v);
    return true;
}

void TransferSettings::Load(const std::string& commandLine) {
    CommandLine = commandLine;
    ParamString params(commandLine);
    CPath path(params[0]);
    ProgramPath = path.FullPath();
    // Relative to the current directory: "<program name>/CDBLOG.txt".
    TraceBasePath = path.Name() + "/CDBLOG";

    CCmdLineParser options(commandLine);
    auto has = [&](const char* key) { return options.Contains(key); };
    auto value = [&](const char* key) { return options.ValueOf(key); };

    // The option table, in its fixed order: a later key overwrites an earlier one.
    if (has("f")) OutputFile = Widen(value("f"));
    if (has("file")) OutputFile = Widen(value("file"));
    if (has("p")) PortName = Widen(value("p"));
    if (has("port")) PortName = Widen(value("port"));
    if (has("top"))
        WindowTop = LenientInt(value("top"));
    else if (has("t"))
        WindowTop = LenientInt(value("t"));
    if (has("left"))
        WindowLeft = LenientInt(value("left"));
    else if (has("l"))
        WindowLeft = LenientInt(value("l"));
    if (has("g")) ShowGradient = StrictInt(value("g")) != 0;
    if (has("gradient")) ShowGradient = StrictInt(value("gradient")) != 0;
    for (const char* key : {"dv", "device"}) {
        if (!has(key)) continue;
        switch (StrictInt(value(key))) {
            case 1:
                DeviceMask = 1;
                break;
            case 2:
                DeviceMask = 2;
                break;
            case 3:
                DeviceMask = 4;
                break;
            case 4:
                DeviceMask = 8;
                break;
            default:
                DeviceMask = 15;
                break;
        }
    }
    for (const char* key : {"v", "version"})
        if (has(key)) VersionBits = StrictInt(value(key)) == 2 ? 0x200 : 0x100;
    // "m" and "model" are accepted and do nothing.
    if (has("d")) Delay = StrictInt(value("d"));
    if (has("delay")) Delay = StrictInt(value("delay"));
    if (has("nc")) HideCancel = true;
    if (has("fmt")) FmtOn = true;
    if (has("nfmt")) FmtOn = false;
    if (has("tags")) TagsOn = true;
    if (has("ntags")) TagsOn = false;
    if (has("um")) UnitsBits = 0x40000;
    if (has("ui")) UnitsBits = 0x20000;
    if (has("us")) UnitsBits = 0x80000;
    for (const char* key : {"debug", "db"}) {
        if (!has(key)) continue;
        PortName = Widen(value(key));
        OptionBits |= 0x40;
    }
    for (const char* key : {"usefile", "dbf"}) {
        if (!has(key)) continue;
        PortName = Widen(value(key));
        OptionBits |= 0x80;
    }
    if (has("codec")) {
        std::string codec = value("codec");
        CodecBits = EqualsNoCase(codec, "utf8")    ? 0x4000
                    : EqualsNoCase(codec, "utf16") ? 0x8000
                                                   : 0;
    }
    if (has("cdblog")) TraceBasePath = value("cdblog");
}

void TransferSettings::NormalisePort() {
    if (PortName.compare(0, 3, L"COM") == 0) PortName = L"\\\\.\\" + PortName;
}

uint32_t TransferSettings::ComposeOptions() {
    OptionBits |= (FmtOn ? 0x2000u : 0u) | (TagsOn ? 0x1000u : 0u) | CodecBits | UnitsBits |
                  VersionBits | DeviceMask;
    return OptionBits;
}

void TransferSettings::ConfigureTrace() const {
    Trace::SetFile(TraceBasePath.c_str(), 0);
    Trace::SetLevel(4);
}

void TransferSettings::TraceStart(const std::string& versionText) const {
    Trace::Write(2, "Version = %s", versionText.c_str());
    Trace::Write(3, "CommandLine = %s ", CommandLine.c_str());
}
