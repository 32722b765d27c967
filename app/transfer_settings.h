#pragma once
// The transfer settings of one run, built from the command line alone, and
// the two later steps the window takes on first activation: normalising the
// port name and composing the Options word.  No GUI here.
#include <cstdint>
#include <stdexcept>
#include <string>

// A value of g, dv, v or d that is not an integer ends start-up; the entry
// shows the message and exits with code 1.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& value);
};

class TransferSettings {
public:
    // The defaults of a run without options.
    TransferSettings();

    // Tokenises `commandLine` (program path included), splits the program
    // path, sets the trace base path, scans the options and applies the
    // option table.  Throws ConversionError for a bad g, dv, v or d value.
    void Load(const std::string& commandLine);

    // "COM" + anything becomes the device path "\\.\COM..."; any other name
    // is left as it is.
    void NormalisePort();
    // Completes OptionBits from the other settings and returns it.
    uint32_t ComposeOptions();

    // Trace log: base name = the trace base path, naming mode 0, level 4.
    void ConfigureTrace() const;
    // The first two trace lines of a run.
    void TraceStart(const std::string& versionText) const;

    // Strict conversion: optional sign and decimal digits, 32-bit range.
    static bool ToInt(const std::string& text, int32_t& value);

    std::wstring OutputFile;
    std::wstring PortName;
    int32_t WindowTop;
    int32_t WindowLeft;
    int32_t Delay;
    uint32_t VersionBits;
    bool ShowGradient;
    bool HideCancel;
    bool FmtOn;
    bool TagsOn;
    uint32_t CodecBits;
    uint32_t UnitsBits;
    uint32_t DeviceMask;
    uint32_t OptionBits;

    std::string TraceBasePath;  // trace file = this + ".txt"
    std::string CommandLine;    // the full text, as given
    std::string ProgramPath;    // token 0, the program path as typed
};
