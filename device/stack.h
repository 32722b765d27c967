#pragma once
// A fixed-capacity byte stack: the type 1 driver collects a streamed dive on
// it and reads it back from the end; the family 1 DCDML generator queues
// profile markers on it.
#include <boost/noncopyable.hpp>
#include <cstdint>
#include <memory>

namespace sAPI {

class Stack : private boost::noncopyable {
  public:
    explicit Stack(uint32_t capacity);

    // Throws sAPI::StackError(20) when full.
    void Push(uint8_t b);
    // Throws sAPI::StackEmpty when empty.  The last byte pushed comes first.
    uint8_t Pop();
    void Reset() { top_ = capacity_; }

    bool Empty() const { return top_ == capacity_; }
    uint32_t Count() const { return capacity_ - top_; }
    uint32_t Capacity() const { return capacity_; }

  private:
    // Bytes live at indexes top_ + 1 .. capacity_; top_ == capacity_ is empty
    // and top_ == 0 is full.
    uint32_t capacity_;
    uint32_t top_;
    std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace sAPI
