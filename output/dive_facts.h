#pragma once
// What every layout reads alike from a download: the computer's model name,
// firmware and serial number from the header image, the mixes a dive starts
// with, and which profile events switch gas.  Each writer formats them its
// own way.
#include <cstdint>
#include <string>
#include <vector>

#include "dc/base/dive_set.h"
#include "dc/profile/profile_decoder.h"

namespace talvek {

// From header byte 0x28; "Unknown" for a code no model has.
std::string modelName(const HeaderImage& header);
// "%i.%i.%i" of header bytes 0x29, 0x81, 0x82.
std::string firmwareVersion(const HeaderImage& header);
// Header bytes 0x2A..0x2D: for family 1 one decimal number (leading zeros
// of the first group not written), for families 2 and 3 each byte as two
// digits.
std::string serialNumber(const DiveSet& set);

// Each dive's number in the computer's log (its place among all the dives
// the computer ever logged, from 1), in the order of set.dives; empty when
// the log cannot number them.  The header's total of dives (word 0x26) is
// the newest dive's number: a download reads the dives oldest first up to
// the newest one, so each older dive, and each dive that could not be
// read, is one less.  A total smaller than the dives the download met is
// no count of them.
std::vector<uint32_t> logNumbers(const DiveSet& set);

// The dives in repetition groups, oldest first: a dive numbered 1 in its
// series starts a group; dives before the first such dive join the first.
std::vector<std::vector<ConstDivePtr>> repetitionGroups(const DiveSet& set);

// A mix a dive starts with.  The first one is breathed from the start and
// holds the cylinder pressures; a null name means "numbered" (gas1, gas2 ...).
struct StartMix {
    int32_t o2 = 0;
    const char* name = nullptr;
};
std::vector<StartMix> startMixes(DataFamily family, const DiveRecord& dive);

// What a family 2/3 profile event does to the breathing gas.
struct GasSwitch {
    enum Kind { None, ToFirstMix, ToSecondMix, ToO2 } kind = None;
    int32_t o2 = 0;  // for ToO2
};
GasSwitch gasSwitchOf(const ProfileDecoder::Event& event);

}  // namespace talvek
