#pragma once
// A fixed-capacity byte stack: the type 1 driver collects a streamed dive on
// it and reads it back from the end; the family 1 DCDML generator queues
// profile markers on it.
#include <cstdint>
#include <memory>

namespace talvek {

class ByteStack {
  public:
    ByteStack(const ByteStack&) = delete;
    ByteStack& operator=(const ByteStack&) = delete;
    explicit ByteStack(uint32_t capacity);

    // Throws StackError(ErrorCode::StackOverflow) when full.
    void push(uint8_t b);
    // Throws StackEmpty when empty.  The last byte pushed comes first.
    uint8_t pop();
    void reset() { top_ = capacity_; }

    bool empty() const { return top_ == capacity_; }
    uint32_t count() const { return capacity_ - top_; }
    uint32_t capacity() const { return capacity_; }

  private:
    // Bytes live at indexes top_ + 1 .. capacity_; top_ == capacity_ is empty
    // and top_ == 0 is full.
    uint32_t capacity_;
    uint32_t top_;
    std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace talvek
