#include "session/transfer_settings.h"

#include <cctype>
#include <climits>
#include <cstdlib>

#include "session/command_line.h"

namespace talvek {

ConversionError::ConversionError(const std::string& value)
    : std::runtime_error("'" + value + "' is not a valid integer value") {}

namespace {

bool equalsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

// Value of an integer option that must convert.
int32_t strictInt(const char* value) {
    int32_t v;
    if (!TransferSettings::toInt(value, v)) throw ConversionError(value);
    return v;
}

// Value of a window-position option: -1 when it does not convert.
int32_t lenientInt(const char* value) {
    int32_t v;
    return TransferSettings::toInt(value, v) ? v : -1;
}

}  // namespace

TransferSettings::TransferSettings(const platform::SystemConventions& conventions)
    : outputFile(conventions.defaultOutputFile),
      portName("\\\\.\\COM1"),
      windowTop(-1),
      windowLeft(-1),
      delay(6),
      versionBits(0),
      showGradient(true),
      hideCancel(false),
      fmtOn(true),
      tagsOn(false),
      codecBits(0x4000),
      unitsBits(0x20000),
      deviceMask(0x0F),
      optionBits(0),
      conventions_(&conventions) {}

bool TransferSettings::toInt(const std::string& text, int32_t& value) {
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

void TransferSettings::load(const std::string& text) {
    commandLine = text;
    ArgumentTokens params(text);
    PathParts path(params[0]);
    programPath = path.fullPath();
    // Relative to the current directory: "<program name>/CDBLOG.txt".
    traceBasePath = path.name() + conventions_->pathSeparator + "CDBLOG";

    CommandLine options(text);
    auto has = [&](const char* key) { return options.contains(key); };
    auto value = [&](const char* key) { return options.valueOf(key); };

    // The option table, in its fixed order: a later key overwrites an earlier one.
    if (has("f")) outputFile = value("f");
    if (has("file")) outputFile = value("file");
    if (has("p")) portName = value("p");
    if (has("port")) portName = value("port");
    if (has("top"))
        windowTop = lenientInt(value("top"));
    else if (has("t"))
        windowTop = lenientInt(value("t"));
    if (has("left"))
        windowLeft = lenientInt(value("left"));
    else if (has("l"))
        windowLeft = lenientInt(value("l"));
    if (has("g")) showGradient = strictInt(value("g")) != 0;
    if (has("gradient")) showGradient = strictInt(value("gradient")) != 0;
    for (const char* key : {"dv", "device"}) {
        if (!has(key)) continue;
        switch (strictInt(value(key))) {
            case 1:
                deviceMask = 1;
                break;
            case 2:
                deviceMask = 2;
                break;
            case 3:
                deviceMask = 4;
                break;
            case 4:
                deviceMask = 8;
                break;
            default:
                deviceMask = 15;
                break;
        }
    }
    for (const char* key : {"v", "version"})
        if (has(key)) versionBits = strictInt(value(key)) == 2 ? 0x200 : 0x100;
    // UDDF wins over any layout -v chose (the writer table reads its bit first).
    if (has("uddf")) versionBits |= 0x400;
    // "m" and "model" are accepted and do nothing.
    if (has("d")) delay = strictInt(value("d"));
    if (has("delay")) delay = strictInt(value("delay"));
    if (has("nc")) hideCancel = true;
    if (has("fmt")) fmtOn = true;
    if (has("nfmt")) fmtOn = false;
    if (has("tags")) tagsOn = true;
    if (has("ntags")) tagsOn = false;
    if (has("um")) unitsBits = 0x40000;
    if (has("ui")) unitsBits = 0x20000;
    if (has("us")) unitsBits = 0x80000;
    for (const char* key : {"debug", "db"}) {
        if (!has(key)) continue;
        portName = value(key);
        optionBits |= 0x40;
    }
    for (const char* key : {"usefile", "dbf"}) {
        if (!has(key)) continue;
        portName = value(key);
        optionBits |= 0x80;
    }
    if (has("codec")) {
        std::string codec = value("codec");
        codecBits = equalsNoCase(codec, "utf8")    ? 0x4000
                    : equalsNoCase(codec, "utf16") ? 0x8000
                                                   : 0;
    }
    if (has("cdblog")) traceBasePath = value("cdblog");
    // The dive store, the dump and the image: keys of their own, none of
    // which touches the Options word.
    if (has("new")) extras.newDivesOnly = true;
    if (has("store")) {
        extras.useStore = true;
        extras.storeDirectory = value("store");
    }
    if (has("dump")) extras.dumpFile = value("dump");
    if (has("image")) extras.imageFile = value("image");
    // Not in the original table: no other key is "report", and the map
    // matches whole keys only, so it takes nothing from another option.
    if (has("report")) {
        reportRequested = true;
        reportFile = value("report");
    }
}

void TransferSettings::normalisePort() {
    if (portName.compare(0, 3, "COM") == 0) portName = "\\\\.\\" + portName;
}

uint32_t TransferSettings::composeOptions() {
    optionBits |= (fmtOn ? 0x2000u : 0u) | (tagsOn ? 0x1000u : 0u) | codecBits | unitsBits |
                  versionBits | deviceMask;
    return optionBits;
}

Request TransferSettings::request() {
    Request r = requestFor(portName, outputFile, composeOptions());
    r.extras = extras;
    if (reportRequested) r.report = reportFile;
    return r;
}

}  // namespace talvek
