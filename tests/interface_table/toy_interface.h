#pragma once
// A fourth interface type that exists only here: a link, a driver and a
// computer answering from its memory, each a few dozen lines, and the row
// that adds them to the program's table of interface types.
//
// Its frames end with the XOR of their bytes: "I cs" asks for the identity
// ("I model fw1 fw2 fw3 cs"), "R ah al n cs" for n bytes of memory
// ("R <n bytes> cs").  Memory: the header image at 0, the number of dives
// at 0x90, then each dive as year, month, day, hour, minute, profile length
// L and L profile bytes (family 1 depth changes).
#include <algorithm>
#include <cstring>
#include <vector>

#include "dc/base/errors.h"
#include "dc/base/serial_link.h"
#include "platform/clock.h"
#include "replay/computer_image.h"
#include "session/interface_table.h"

namespace talvek {

namespace toy {

constexpr int Number = 4;
constexpr uint32_t MemorySize = 0x400;
constexpr uint32_t DiveCountAt = 0x90;

class ToyLink : public SerialLink {
  public:
    ToyLink(const char* port, const CancelFlag* cancel, platform::SerialOpener& ports)
        : SerialLink(port, LinkSettings{.baudRate = 9600, .readTimeoutMs = 500, .bufferSize = 64},
                     cancel, ports) {}
    void setMode(int) override {}
    void talk(int count) override {
        sendBuffer()[count] = checksum(sendBuffer(), count);
        sendFrame(count + 1);
    }
    void listen(int count) override {
        if (port().read(receiveBuffer(), static_cast<size_t>(count)) != count ||
            verifyChecksum(receiveBuffer(), count - 1) != 0)
            throw CommError(ErrorCode::TimedOut);
    }
    void communicate(int sendCount, int receiveCount) override {
        talk(sendCount);
        listen(receiveCount);
    }
};

class ToyDriver : public Driver, public ToyLink {
  public:
    ToyDriver(const char* port, const CancelFlag* cancel, platform::SerialOpener& ports)
        : Driver(DataFamily::Family1, MemorySize - 1, cancel), ToyLink(port, cancel, ports) {}

    int read(uint32_t address, int count, uint8_t* to, bool) override {
        for (int done = 0, n; done < count; done += n) {
            n = std::min(32, count - done);
            const uint8_t frame[] = {'R', static_cast<uint8_t>((address + done) >> 8),
                                     static_cast<uint8_t>(address + done), static_cast<uint8_t>(n)};
            std::memcpy(sendBuffer(), frame, sizeof frame);
            communicate(sizeof frame, n + 2);
            capture_.memory(address + done, receiveBuffer() + 1, static_cast<size_t>(n));
            std::memcpy(to + done, receiveBuffer() + 1, static_cast<size_t>(n));
        }
        return count;
    }
    int write(uint32_t, int, const uint8_t*, bool) override { return 0; }
    int command(int, const uint8_t*, int, uint8_t*) override { return 0; }
    void open(int attempts) override {
        for (int i = 0;; ++i) {
            try {
                sendBuffer()[0] = 'I';
                communicate(1, 6);
                break;
            } catch (const CommError&) {
                if (i + 1 >= attempts) throw DeviceNotPresent("Toy Not Found");
            }
        }
        capture_.identity(receiveBuffer() + 1);
        prepare();
    }
    void prepare() override {
        clearDives();
        next_ = DiveCountAt + 1;
    }
    void readHeader() override {
        read(0, HeaderImageSize, header_, false);
        read(DiveCountAt, 1, &left_, false);
    }
    bool nextDive() override {
        if (left_ == 0) return false;
        --left_;
        uint8_t head[6];
        read(next_, 6, head, false);
        std::vector<uint8_t> stream(head, head + 6);
        stream.resize(6 + head[5]);
        if (head[5]) read(next_ + 6, head[5], stream.data() + 6, false);
        next_ += static_cast<uint32_t>(stream.size());
        auto dive = std::make_shared<DiveRecord>();
        dive->year = head[0];
        dive->month = head[1];
        dive->day = head[2];
        dive->hour = head[3];
        dive->minute = head[4];
        dive->setProfile(stream.data() + 6, head[5]);
        keepDive(dive, RawDive{0, {}, stream});
        return true;
    }

  private:
    uint32_t next_ = 0;
    uint8_t left_ = 0;
};

// The far end: answers from the image's memory 20 ms after a whole frame.
class ToyComputer : public platform::MemoryPeer {
  public:
    explicit ToyComputer(replay::ComputerImage image) : image_(std::move(image)) {}
    void onHostBytes(platform::MemoryLine& line, const uint8_t* data, size_t n,
                     uint64_t atMs) override {
        in_.insert(in_.end(), data, data + n);
        while (!in_.empty()) {
            const size_t len = in_[0] == 'I' ? 2 : in_[0] == 'R' ? 5 : 1;
            if (in_.size() < len) return;
            if (len == 1 || replay::xorSum(in_.data(), len - 1) != in_[len - 1]) {
                in_.erase(in_.begin());  // not a frame of this type
                continue;
            }
            std::vector<uint8_t> reply{in_[0]};
            if (in_[0] == 'I') {
                reply.insert(reply.end(), image_.identity.begin(), image_.identity.end());
            } else {
                const size_t at = (in_[1] << 8) | in_[2];
                const auto from = image_.memory.begin() + static_cast<std::ptrdiff_t>(at);
                reply.insert(reply.end(), from, from + in_[3]);
            }
            reply.push_back(replay::xorSum(reply.data(), reply.size()));
            line.send(reply, atMs + 20);
            in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(len));
        }
    }

  private:
    replay::ComputerImage image_;
    std::vector<uint8_t> in_;
};

// The row that makes it an interface type of the program.
inline InterfaceRow row() {
    InterfaceRow t;
    t.number = Number;
    t.family = DataFamily::Family1;
    t.traceName = "Device_Toy";
    t.probe = {"Searching for Device (4)",
               "Found Device Toy",
               "Did Not Find Device Toy",
               "Toy: %s",
               "Unknown Exception searching for Device Toy - error = %d",
               "Runtime Error",
               1};
    t.makeDriver = [](const std::string& port, const CancelFlag* cancel,
                      platform::SerialOpener& ports) -> std::unique_ptr<Driver> {
        return std::make_unique<ToyDriver>(port.c_str(), cancel, ports);
    };
    t.image = {MemorySize, false};
    t.makeComputer = [](replay::ComputerImage image) -> std::unique_ptr<platform::MemoryPeer> {
        return std::make_unique<ToyComputer>(std::move(image));
    };
    return t;
}

}  // namespace toy

}  // namespace talvek
