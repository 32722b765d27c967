#include "session/information_request.h"

#include "platform/os.h"
#include "session/command_line.h"

namespace talvek {

namespace {

const char* const OptionTable =
    "Usage: talvek-dl [options]\n"
    "Downloads a dive computer on a serial port into one XML file.\n"
    "\n"
    "Options start with - or /; keys are case-insensitive; a value follows = or :\n"
    "without a blank.  The first occurrence of a key wins.\n"
    "\n"
    "  -f=FILE, -file=FILE        output file (default TalvekDownload.xml)\n"
    "  -p=PORT, -port=PORT        serial port, e.g. /dev/ttyUSB0 (see -list)\n"
    "  -v=2, -version=2           DCDML layout; any other number: legacy layout\n"
    "  -uddf                      UDDF 3.2.3 for dive logbooks (SI units; wins over -v)\n"
    "  -um, -ui, -us              metric, imperial, scientific units (DCDML; default imperial)\n"
    "  -dv=N, -device=N           probe only interface type N (1, 2, 3); 4 probes none\n"
    "  -fmt, -nfmt                indent the XML, or not (default indented)\n"
    "  -tags, -ntags              empty elements with start and end tag, or as <x />\n"
    "  -g=0, -gradient=0          plain window background\n"
    "  -nc                        no Cancel button\n"
    "  -t=Y -l=X, -top=Y -left=X  window position (both needed)\n"
    "  -cdblog=BASE               trace file BASE.txt (default talvek-dl/CDBLOG.txt)\n"
    "  -report=FILE               also write an HTML report of the dives (plots per dive)\n"
    "  -codec=utf8|utf16, -d=N, -delay=N, -m, -model   accepted; no effect\n"
    "  -debug=PORT, -db=PORT, -usefile=PATH, -dbf=PATH port name (marked in the Options word)\n"
    "  -new                       fetch only the dives the dive store lacks (types 2, 3)\n"
    "  -store, -store=DIR         keep the download in the dive store (its folder, or DIR)\n"
    "  -dump=FILE                 also write what was read as a computer image\n"
    "  -image=FILE                download the computer kept in an image, without a port\n"
    "  -list                      list the serial ports and exit\n"
    "  --help, -h, -?             show this table and exit\n"
    "  --version                  show the program's name and version and exit\n"
    "\n"
    "Exit status: 0 the file was written; 1 bad option value or file error; 2..25 a\n"
    "device error (12 port not found, 17 no device, 18 timed out); 130 cancelled;\n"
    "154 runtime error; 255 unknown error while probing type 3.\n";

}  // namespace

std::string optionTableText() {
    return OptionTable;
}

std::string versionText(const VersionInformation& version) {
    if (!version.valid() || version.productName().empty())
        return "talvek-dl: no version information in " + version.fileName() + "\n";
    return version.productName() + " " + version.productVersion() + "\n";
}

std::optional<std::string> informationText(const std::string& commandLine,
                                           const std::string& programFile,
                                           const platform::SystemRoots& roots) {
    const CommandLine options(commandLine);
    // The scanner takes one prefix character off: "--help" is the key "-help".
    if (options.contains("-help") || options.contains("h") || options.contains("?"))
        return optionTableText();
    if (options.contains("-version"))
        return versionText(VersionInformation(
            programFile.empty() ? platform::ownExecutablePath().c_str() : programFile.c_str()));
    if (options.contains("list")) return platform::serialPortListText(platform::listSerialPorts(roots));
    return std::nullopt;
}

}  // namespace talvek
