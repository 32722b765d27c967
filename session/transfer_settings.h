#pragma once
// The transfer settings of one run, built from the command line alone, and
// the two later steps of the first activation: normalising the port name and
// composing the Options word.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/os.h"
#include "session/download_extras.h"
#include "session/request.h"

namespace talvek {

// A value of g, dv, v or d that is not an integer ends start-up; the entry
// shows the message and exits with code 1.
class ConversionError : public std::runtime_error {
  public:
    explicit ConversionError(const std::string& value);
};

class TransferSettings {
  public:
    // The defaults of a run without options, as the system's conventions
    // have them (output file, where the trace goes).
    explicit TransferSettings(
        const platform::SystemConventions& conventions = platform::systemConventions());

    // Tokenises `commandLine` (program path included), splits the program
    // path, sets the trace base path, scans the options and applies the
    // option table.  Throws ConversionError for a bad g, dv, v or d value.
    void load(const std::string& commandLine);

    // "COM" + anything becomes the device path "\\.\COM..."; any other name
    // is left as it is.
    void normalisePort();
    // Completes OptionBits from the other settings and returns it.
    uint32_t composeOptions();
    // What the run is asked to do: the names, the Options word composed
    // and read, the extras and the report.
    Request request();

    // Strict conversion: optional sign and decimal digits, 32-bit range.
    static bool toInt(const std::string& text, int32_t& value);

    std::string outputFile;
    std::string portName;
    int32_t windowTop;
    int32_t windowLeft;
    int32_t delay;
    uint32_t versionBits;
    bool showGradient;
    bool hideCancel;
    bool fmtOn;
    bool tagsOn;
    uint32_t codecBits;
    uint32_t unitsBits;
    uint32_t deviceMask;
    uint32_t optionBits;

    DownloadExtras extras;  // new, store, dump, image

    // -report=FILE: an HTML report written beside the output file.
    bool reportRequested = false;
    std::string reportFile;

    std::string traceBasePath;  // trace file = this + ".txt"
    std::string commandLine;    // the full text, as given
    std::string programPath;    // token 0, the program path as typed

  private:
    const platform::SystemConventions* conventions_;
};

}  // namespace talvek
