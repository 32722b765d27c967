#pragma once
// Counts the bytes of a download phase and reports a whole percentage.
#include <cstdint>
#include <functional>

namespace talvek {

class ProgressCounter {
  public:
    ProgressCounter(const ProgressCounter&) = delete;
    ProgressCounter& operator=(const ProgressCounter&) = delete;
    using Callback = std::function<void(int)>;

    explicit ProgressCounter(int32_t total);

    // total = total, current = 0, percent = 0; always calls back with 0.
    void reset(int32_t total);
    void advance(int32_t n);
    // Sets the current value directly (then clamps and recomputes).
    void setCurrent(int32_t current);
    // The phase is done, whatever was counted (a total of 0 included): the
    // current value becomes the total and the percentage 100.
    void complete();
    // Replaces the callback; an empty one makes the counter silent.
    void setCallback(Callback cb);

    int32_t total() const { return total_; }
    int32_t current() const { return current_; }
    int32_t percent() const { return percent_; }

  private:
    void update();
    int32_t total_;
    int32_t current_ = 0;
    int32_t percent_ = 0;
    Callback callback_;
};

}  // namespace talvek
