#include <cstdlib>
#include <string>

#include "platform/os.h"

namespace talvek {

namespace platform {

// The XDG base directory rule: $XDG_DATA_HOME when it is an absolute path,
// otherwise ~/.local/share.
std::string dataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/talvek-dl/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/share/talvek-dl/";
    return std::string();
}

}  // namespace platform

}  // namespace talvek
