#pragma once
// The names a dive's records are given in every output: its computer mode
// and the events its profile holds, as the DCDML layout writes them.
#include <cstdint>
#include <string>

namespace talvek {

// "air", "nitrox", "gauge" for dive mode codes 0, 1, 2; "" for any other.
std::string computerModeText(uint8_t diveMode);

// The event "id" of a family 1 profile marker; null for markers that name
// no event (121, 128, 130..134).
const char* family1MarkerEventId(uint8_t marker);

// The event "id" of a family 2/3 code event (profile event type 3) that is
// not a gas switch.  `withValue` is set when the code is also written as
// "talvek:value" (code 14 and unknown codes, which read "talvek:unknown").
std::string codeEventId(int code, bool& withValue);

}  // namespace talvek
