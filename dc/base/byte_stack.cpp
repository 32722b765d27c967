#include "dc/base/byte_stack.h"

#include "dc/base/errors.h"

namespace talvek {

ByteStack::ByteStack(uint32_t capacity)
    : capacity_(capacity), top_(capacity), bytes_(new uint8_t[capacity + 2]()) {}

void ByteStack::push(uint8_t b) {
    if (top_ == 0) throw StackError(ErrorCode::StackOverflow);
    bytes_[top_] = b;
    --top_;
}

uint8_t ByteStack::pop() {
    if (top_ == capacity_) throw StackEmpty();
    ++top_;
    return bytes_[top_];
}

}  // namespace talvek
