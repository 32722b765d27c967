#include "device/stack.h"

#include "device/errors.h"

namespace sAPI {

Stack::Stack(uint32_t capacity)
    : capacity_(capacity), top_(capacity), bytes_(new uint8_t[capacity + 2]()) {}

void Stack::Push(uint8_t b) {
    if (top_ == 0) throw StackError(20);
    bytes_[top_] = b;
    --top_;
}

uint8_t Stack::Pop() {
    if (top_ == capacity_) throw StackEmpty();
    ++top_;
    return bytes_[top_];
}

}  // namespace sAPI
