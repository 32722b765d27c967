#pragma once
// What a download read from the computer, kept as it arrived: the dives for
// the dive store, and the memory, identity and dive streams for a dump that
// replays the download (-dump).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvek {

// One dive as the computer holds it; the writers' record is parsed from it.
struct RawDive {
    uint32_t address = 0;         // types 2, 3: ring address of the dive header
    std::vector<uint8_t> header;  // types 2, 3: the bytes a download reads there
    std::vector<uint8_t> data;    // types 2, 3: the profile bytes; type 1: the dive as streamed
    bool operator==(const RawDive&) const = default;
};

// The memory as far as it was read (unread bytes 0xFF), the identity reply
// and, for type 1, every dive stream the computer sent.
class ReadCapture {
  public:
    static constexpr uint32_t AddressSpace = 0x10000;

    // Bytes read from the device at `address`.
    void memory(uint32_t address, const uint8_t* bytes, size_t n);
    // Bytes known without reading them (from the dive store): kept only
    // where nothing was read, and overwritten by later reads.
    void fillUnread(uint32_t address, const uint8_t* bytes, size_t n);
    void identity(const uint8_t* fourBytes);
    void stream(std::vector<uint8_t> bytes);

    // From address 0 to the highest address read or filled.
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    bool known(uint32_t address) const {
        return address < state_.size() && state_[address] != Unread;
    }
    bool hasIdentity() const { return hasIdentity_; }
    const std::array<uint8_t, 4>& identityBytes() const { return identity_; }
    const std::vector<std::vector<uint8_t>>& streams() const { return streams_; }

  private:
    enum State : uint8_t { Unread, Filled, Read };
    void put(uint32_t address, const uint8_t* bytes, size_t n, bool fromDevice);

    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> state_;
    std::array<uint8_t, 4> identity_{};
    bool hasIdentity_ = false;
    std::vector<std::vector<uint8_t>> streams_;
};

}  // namespace talvek
