#include "dc/base/raw_reads.h"

#include <algorithm>

namespace talvek {

void ReadCapture::put(uint32_t address, const uint8_t* bytes, size_t n, bool fromDevice) {
    if (address >= AddressSpace) return;
    n = std::min<size_t>(n, AddressSpace - address);
    if (address + n > bytes_.size()) {
        bytes_.resize(address + n, 0xFF);
        state_.resize(address + n, Unread);
    }
    for (size_t i = 0; i < n; ++i) {
        uint8_t& state = state_[address + i];
        if (!fromDevice && state != Unread) continue;
        bytes_[address + i] = bytes[i];
        state = fromDevice ? Read : Filled;
    }
}

void ReadCapture::memory(uint32_t address, const uint8_t* bytes, size_t n) {
    put(address, bytes, n, true);
}

void ReadCapture::fillUnread(uint32_t address, const uint8_t* bytes, size_t n) {
    put(address, bytes, n, false);
}

void ReadCapture::identity(const uint8_t* fourBytes) {
    std::copy(fourBytes, fourBytes + 4, identity_.begin());
    hasIdentity_ = true;
}

void ReadCapture::stream(std::vector<uint8_t> bytes) {
    streams_.push_back(std::move(bytes));
}

}  // namespace talvek
