#include "dc/profile/family1_profile.h"

namespace talvek {

Family1Profile::Family1Profile(const DiveRecord& record)
    : bytes_(record.profile.get()), length_(bytes_ ? record.profileLength : 0) {}

bool Family1Profile::next(Item& item) {
    if (position_ >= length_) return false;
    const uint8_t c = bytes_[position_++];
    if (c < FirstMarker || c > GasSwitchMarker) {
        item = {Kind::DepthChange, static_cast<int8_t>(c)};
    } else if (c < GasSwitchMarker) {
        item = {Kind::Marker, c};
    } else if (position_ < length_) {
        item = {Kind::GasSwitch, bytes_[position_++]};
    } else {
        item = {Kind::TruncatedGasSwitch, 0};
    }
    return true;
}

}  // namespace talvek
