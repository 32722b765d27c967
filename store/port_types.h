#pragma once
// The interface type last found on each serial port, kept in the dive
// store's folder so that the next run on that port can probe it first.  A
// text file a user may read and edit (README.md, "The interface type of
// each port"):
//
//   TLVKPORTS 1
//   3 /dev/ttyUSB0
//   2 /dev/serial/by-id/usb-Acme_Serial_Cable-if00
//
// The first line names the format and its version; then one line a port,
// the most recently found first: the interface number in decimal, one
// blank, and the port's name as given to -p, up to the line's end (LF; a
// CR before it is dropped).  A file that breaks any rule is refused as a
// whole.  Whether a number names an interface type is for the reader to
// say: the table of types is not the store's.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvek {

namespace store {

// The name of the file in the store's folder.
constexpr const char* PortTypesFileName = "ports.txt";
// The most ports kept (the ones found longest ago are dropped), and the
// longest port name kept.
constexpr size_t MaxPorts = 32;
constexpr size_t MaxPortName = 1024;

class PortTypes {
  public:
    // The number last found on `port`, if any.
    std::optional<int> on(const std::string& port) const;
    // `port` answered as interface `number`: its entry moves to the front.
    // False (nothing changes) for a name the file cannot hold: empty, too
    // long, or holding a line break or a NUL.
    bool found(const std::string& port, int number);

    // Port and number, the most recently found first.
    const std::vector<std::pair<std::string, int>>& entries() const { return entries_; }
    bool operator==(const PortTypes&) const = default;

  private:
    std::vector<std::pair<std::string, int>> entries_;
    friend bool decodePortTypes(const std::string& text, PortTypes& types, std::string& why);
};

// A name `found` accepts.
bool portNameKeepable(const std::string& port);

std::string encodePortTypes(const PortTypes& types);
// False, with the reason in `why`, for text that breaks the format.
bool decodePortTypes(const std::string& text, PortTypes& types, std::string& why);

// The file in `directory` (with or without a trailing separator).
std::string portTypesPath(const std::string& directory);

struct PortTypesLoad {
    enum Status { Loaded, Absent, Refused } status = Absent;
    PortTypes types;
    std::string why;  // Absent, Refused: what the trace says
};
PortTypesLoad loadPortTypes(const std::string& path);

// Creates `directory` when it is missing and replaces the file atomically.
// Returns the empty text, or what went wrong.
std::string savePortTypes(const std::string& directory, const PortTypes& types);

}  // namespace store

}  // namespace talvek
