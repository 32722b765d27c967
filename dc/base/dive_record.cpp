#include "dc/base/dive_record.h"

#include <cstring>

namespace talvek {

void DiveRecord::setProfile(const uint8_t* bytes, uint32_t n) {
    profile.reset(n ? new uint8_t[n] : nullptr);
    if (n) std::memcpy(profile.get(), bytes, n);
    profileLength = n;
}

}  // namespace talvek
