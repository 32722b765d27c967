// The profile decoder of types 2 and 3, and the DCDML and legacy writers
// that walk a dive through it: the first bytes fill the header fields the
// decoder reads, the rest is the profile.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "dc/base/dive_record.h"
#include "dc/profile/profile_decoder.h"
#include "fuzz/fuzz_support.h"

using namespace talvek;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    auto dive = std::make_shared<DiveRecord>();
    dive->sampleInterval = data[0];
    dive->temperatureInterval = data[1];
    dive->firstEventBlock = static_cast<uint16_t>(data[2] | (data[3] << 8));
    dive->pressureSamples = data[4] & 1;
    dive->oxygen1 = data[5];
    dive->diveMode = data[4] >> 6;
    dive->setProfile(data + 6, static_cast<uint32_t>(size - 6));

    // Every call consumes bytes or ends the walk: the loop is bounded.
    ProfileDecoder decoder(dive);
    size_t steps = 0;
    while (decoder.next()) {
        if (decoder.eventsPending()) {
            while (decoder.nextEvent() != nullptr) {
            }
            decoder.clearEvents();
        }
        if (decoder.atEnd()) break;
        if (++steps > 4 * size + 16) __builtin_trap();  // a walk that never ends
    }

    DiveSet set;
    set.family = (data[4] & 2) ? DataFamily::Family3 : DataFamily::Family2;
    set.dives.push_back(dive);
    try {
        fuzz::writeEveryLayout(set);
    } catch (const std::runtime_error&) {
        // The writers' own refusals.
    }
    return 0;
}
