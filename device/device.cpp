#include "device/device.h"

#include <cmath>
#include <cstring>

#include "generate/output_generater.h"

TSmartProgress::TSmartProgress(int32_t total) : total_(total) {}

void TSmartProgress::Reset(int32_t total) {
    total_ = total;
    current_ = 0;
    percent_ = 0;
    if (callback_) callback_(0);
}

void TSmartProgress::Advance(int32_t n) {
    current_ += n;
    Update();
}

void TSmartProgress::SetCurrent(int32_t current) {
    current_ = current;
    Update();
}

void TSmartProgress::SetCallback(Callback cb) { callback_ = std::move(cb); }

void TSmartProgress::Update() {
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

_DIVE_DATA::_DIVE_DATA() {
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

void _DIVE_DATA::SetProfile(const uint8_t* bytes, uint32_t n) {
    profile.reset(n ? new uint8_t[n] : nullptr);
    if (n) std::memcpy(profile.get(), bytes, n);
    profileLength = n;
}

namespace sAPI {

Device::Device(int32_t familyCode, int32_t memoryTop, const CancelFlag* cancel)
    : familyCode_(familyCode), memoryTop_(memoryTop), cancel_(cancel) {
    std::memset(header_, 0, sizeof header_);
}

Device::~Device() = default;

void Device::SetCallbacks(ProgressFn progress, StatusFn status, FoundFn found) {
    status_ = std::move(status);
    found_ = std::move(found);
    if (progress) progress_.SetCallback(std::move(progress));
}

}  // namespace sAPI
