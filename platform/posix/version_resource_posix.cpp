#include "platform/version_resource.h"

namespace talvek {

namespace platform {

bool hasVersionResources() {
    return false;
}

bool readVersionResource(const std::string&, const char* const*, int, std::string*) {
    return false;
}

}  // namespace platform

}  // namespace talvek
