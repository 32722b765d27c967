// Not built yet: the Windows port adds this file to its WIN32 branch of
// CMakeLists.txt.  It should ask the shell for the folder
// (SHGetKnownFolderPath(FOLDERID_LocalAppData, ...)) and convert it from wide
// text; the environment variable below is the stand-in until then.
#include <cstdlib>
#include <string>

#include "platform/os.h"

namespace talvek {

namespace platform {

std::string dataDirectory() {
    const char* local = std::getenv("LOCALAPPDATA");
    if (!local || !local[0]) return std::string();
    return std::string(local) + "\\Talvek\\XML Downloader\\";
}

}  // namespace platform

}  // namespace talvek
