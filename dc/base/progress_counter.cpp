#include "dc/base/progress_counter.h"

#include <cmath>

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

void ProgressCounter::complete() {
    current_ = total_;
    if (percent_ == 100) return;
    percent_ = 100;
    if (callback_) callback_(percent_);
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

}  // namespace talvek
