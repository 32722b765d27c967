#include "dc/base/driver.h"

#include <algorithm>
#include <cstring>

namespace talvek {

Driver::Driver(DataFamily family, int32_t memoryTop, const CancelFlag* cancel)
    : family_(family), memoryTop_(memoryTop), cancel_(cancel) {
    std::memset(header_, 0, sizeof header_);
}

Driver::~Driver() = default;

DiveSet Driver::diveSet() const {
    DiveSet set;
    set.family = family_;
    std::copy(header_, header_ + HeaderImageSize, set.header.begin());
    set.dives.assign(dives_.begin(), dives_.end());
    set.unreadable = unreadable_;
    return set;
}

ResumeResult Driver::resumeAfter(const std::vector<RawDive>& /*stored*/) {
    ResumeResult r;
    r.reason = "this interface type reads every dive";
    return r;
}

void Driver::keepDive(DivePtr dive, RawDive raw) {
    dives_.push_back(std::move(dive));
    rawDives_.push_back(std::move(raw));
}

void Driver::clearDives() {
    dives_.clear();
    rawDives_.clear();
    unreadable_.clear();
}

void Driver::setCallbacks(ProgressFn progress, StatusFn status, FoundFn found) {
    status_ = std::move(status);
    found_ = std::move(found);
    if (progress) progress_.setCallback(std::move(progress));
}

}  // namespace talvek
