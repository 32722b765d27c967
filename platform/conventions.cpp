#include "platform/os.h"

namespace talvek {

namespace platform {

// Relative on POSIX: a host program gives the path it wants, and a run without
// one writes into the current directory rather than into "C:" there.
const SystemConventions PosixConventions{"TalvekDownload.xml", '/', false};
const SystemConventions WindowsConventions{"C:\\TalvekDownload.xml", '\\', true};

}  // namespace platform

}  // namespace talvek
