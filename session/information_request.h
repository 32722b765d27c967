#pragma once
// Options that print a text and end the program at once, before any window,
// trace file or port: --help, -h and -? (the option table), --version (the
// product name and version from the program's own version block), -list
// (the serial ports).  Each front end prints the text its own way (a
// terminal's standard output; on Windows the console that started it).
#include <optional>
#include <string>

#include "platform/serial_ports.h"
#include "session/version_information.h"

namespace talvek {

// The text for `commandLine` (program path included), or nothing when it
// asks for a download.  Help wins over --version, which wins over -list.
// `programFile` is the file whose version block is read (empty: the running
// executable); `roots` is where the ports are looked for.
std::optional<std::string> informationText(const std::string& commandLine,
                                           const std::string& programFile = {},
                                           const platform::SystemRoots& roots = {});

// The option table, as the README has it.
std::string optionTableText();
// "<product name> <version>", or a line saying the version block is missing.
std::string versionText(const VersionInformation& version);

}  // namespace talvek
