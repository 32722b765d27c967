#pragma once
// Walks the raw profile bytes of one interface type 1 dive: a list of signed
// depth changes in feet, event markers, and gas switches that carry the new
// O2 percentage in the byte after their marker.  The one place that says
// which byte is which; what a marker means is the writers' business.
#include <cstdint>

#include "dc/base/dive_record.h"

namespace talvek {

class Family1Profile {
  public:
    enum class Kind {
        DepthChange,        // `value`: the signed change in feet
        Marker,             // `value`: the marker byte, 121..134
        GasSwitch,          // `value`: the new O2 percentage
        TruncatedGasSwitch  // a gas switch marker as the very last byte
    };
    struct Item {
        Kind kind = Kind::DepthChange;
        int32_t value = 0;
    };

    static constexpr uint8_t FirstMarker = 121;
    static constexpr uint8_t GasSwitchMarker = 135;

    // Reads the record's bytes; the record must outlive the walk.
    explicit Family1Profile(const DiveRecord& record);

    // The next item; false at the end of the bytes.
    bool next(Item& item);

  private:
    const uint8_t* bytes_;
    uint32_t length_;
    uint32_t position_ = 0;
};

}  // namespace talvek
