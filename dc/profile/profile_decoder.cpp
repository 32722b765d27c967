#include "dc/profile/profile_decoder.h"

#include "trace/trace.h"

namespace talvek {

ProfileDecoder::ProfileDecoder(std::shared_ptr<const DiveRecord> record)
    : record_(std::move(record)),
      cursor_(events_.end()),
      read_(record_->profile.get()),
      nextBlockIndex_(record_->firstEventBlock),
      sampleInterval_(record_->sampleInterval),
      temperatureInterval_(record_->temperatureInterval),
      temperatureCountdown_(record_->temperatureInterval),
      profileLength_(read_ ? record_->profileLength : 0),
      pressureSamples_(record_->pressureSamples != 0) {}

uint16_t ProfileDecoder::read16() {
    if (!remain(2)) return 0;
    uint16_t v = static_cast<uint16_t>(read_[0] | (read_[1] << 8));
    read_ += 2;
    bytesConsumed_ += 2;
    return v;
}

uint8_t ProfileDecoder::read8() {
    if (!remain(1)) return 0;
    uint8_t v = *read_++;
    bytesConsumed_ += 1;
    return v;
}

bool ProfileDecoder::next() {
    bool due = temperatureCountdown_ == temperatureInterval_;
    if (sampleCount_ == nextBlockIndex_) return decodeBlock();

    sampleTime_ = runningTime_;
    runningTime_ += sampleInterval_;
    if (!remain(due ? 5 : 4)) {
        atEnd_ = true;
        return false;
    }
    hasTemperature_ = false;
    depth_ = read16();
    if (pressureSamples_) {
        uint16_t p = read16();
        pressure_ = p / 10;
        if (firstPressurePending_) {
            startPressure_ = p / 10;
            firstPressurePending_ = false;
            trace::write(4, "TProfileControl::next(): Setting Start Pressure =%u",
                         unsigned{startPressure_});
        }
        endPressure_ = pressure_;
    } else {
        pressure_ = 0;
    }
    if (due) {
        temperature_ = static_cast<int8_t>(read8());
        hasTemperature_ = true;
        temperatureCountdown_ = 1;
    } else {
        temperatureCountdown_ += 1;
    }
    sampleCount_ += 1;
    return true;
}

bool ProfileDecoder::decodeBlock() {
    events_.clear();
    while (remain(1)) {
        uint8_t type = read8();
        eventsPending_ = true;
        Event e;
        e.type = type;
        e.time = sampleTime_;
        switch (type) {
            case 1:
                if (!remain(4)) goto out_of_bytes;
                nextBlockIndex_ = read16();
                nextBlockIndex_ = static_cast<uint16_t>(nextBlockIndex_ + read16());
                cursor_ = events_.begin();
                return true;
            case 2:
                if (!remain(2)) goto out_of_bytes;
                e.data2 = read8();
                e.data4 = read8();
                events_.push_back(e);
                break;
            case 3:
                if (!remain(2)) goto out_of_bytes;
                e.data1 = read8();
                e.data4 = read8();
                events_.push_back(e);
                break;
            case 4:
                if (!remain(4)) goto out_of_bytes;
                e.data2 = read8();
                e.data4 = read8();
                e.word = read16();
                events_.push_back(e);
                break;
            case 5:
                if (!remain(2)) goto out_of_bytes;
                e.data3 = read8();
                e.data4 = read8();
                events_.push_back(e);
                break;
            default:
                eventsPending_ = false;
                break;
        }
    }
out_of_bytes:
    cursor_ = events_.begin();
    return false;
}

ProfileDecoder::Event* ProfileDecoder::nextEvent() {
    if (events_.empty() || cursor_ == events_.end()) {
        eventsPending_ = false;
        return nullptr;
    }
    return &*cursor_++;
}

void ProfileDecoder::clearEvents() {
    events_.clear();
    cursor_ = events_.end();
    eventsPending_ = false;
}

}  // namespace talvek
