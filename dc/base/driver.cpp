#include "dc/base/driver.h"

#include <cmath>
#include <cstring>

namespace talvek {

ProgressCounter::ProgressCounter(int32_t total) : total_(total) {}

void ProgressCounter::reset(int32_t total) {
    total_ = total;
    current_ = 0;
    percent_ = 0;
    if (callback_) callback_(0);
}

void ProgressCounter::advance(int32_t n) {
    current_ += n;
    update();
}

void ProgressCounter::setCurrent(int32_t current) {
    current_ = current;
    update();
}

void ProgressCounter::setCallback(Callback cb) {
    callback_ = std::move(cb);
}

void ProgressCounter::update() {
    if (current_ > total_)
        current_ = total_;
    else if (current_ < 0)
        current_ = 0;
    int32_t percent;
    if (current_ == 0)
        percent = 0;
    else if (current_ < total_)
        percent = static_cast<int32_t>(
            std::floor(100.0 / (static_cast<double>(total_) / current_) + 0.5));
    else
        percent = 100;
    if (percent != percent_) {
        percent_ = percent;
        if (callback_) callback_(percent_);
    }
}

DiveRecord::DiveRecord() {
    std::memset(tissue, 0, sizeof tissue);
    surfaceIntervalMinutes = surfaceIntervalHours = diveNumber = sampleInterval = 0;
    personalAltitude = gasPressure1 = oxygen1 = fixedByte = type1Byte = 0;
    year = month = day = hour = minute = 0;
    type1Bytes[0] = type1Bytes[1] = 0;
    gasPressure2 = cnsOtu = oxygen2 = oxygen3 = second = surfaceIntervalSeconds = 0;
    temperatureInterval = rgbm = diveMode = 0;
    std::memset(further, 0, sizeof further);
    diveTime = maxDepth = firstEventBlock = pressureSamples = startPressure = endPressure = 0;
    further2[0] = further2[1] = 0;
    profileLength = 0;
    furtherWord = 0;
}

void DiveRecord::setProfile(const uint8_t* bytes, uint32_t n) {
    profile.reset(n ? new uint8_t[n] : nullptr);
    if (n) std::memcpy(profile.get(), bytes, n);
    profileLength = n;
}

Driver::Driver(int32_t familyCode, int32_t memoryTop, const CancelFlag* cancel)
    : familyCode_(familyCode), memoryTop_(memoryTop), cancel_(cancel) {
    std::memset(header_, 0, sizeof header_);
}

Driver::~Driver() = default;

void Driver::setCallbacks(ProgressFn progress, StatusFn status, FoundFn found) {
    status_ = std::move(status);
    found_ = std::move(found);
    if (progress) progress_.setCallback(std::move(progress));
}

}  // namespace talvek
