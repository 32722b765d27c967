#pragma once
// The driver of the first interface generation: 32-byte memory blocks over
// the type 1 link, a header of three reads with big-endian words, and dives
// that the computer streams as packets on request.
#include <cstdint>
#include <vector>

#include "dc/base/byte_stack.h"
#include "dc/base/driver.h"
#include "dc/type1/type1_link.h"

namespace talvek {

class Type1Driver : public Driver, public Type1Link {
  public:
    static constexpr DataFamily Family = DataFamily::Family1;
    static constexpr int32_t MemoryTop = 0x1FFF;
    static constexpr int BlockSize = 32;
    static constexpr uint32_t StackCapacity = 8192;
    // Progress total of the dive download (the dive memory's size).
    static constexpr int32_t DiveProgressTotal = 8078;
    // Payload of a full packet; a shorter one ends the dive.
    static constexpr int FullPacket = 32;
    // Bottom of a collected dive; never part of a well-formed profile.
    static constexpr uint8_t StackSentinel = 0x86;
    // Separates the trailing bytes from the profile.
    static constexpr uint8_t EndOfDiveMarker = 0x80;
    // All dives of one download come from the 8 KB memory: a computer that
    // streams more is damaged (StreamOverrun).
    static constexpr uint32_t StreamsTotal = MemoryTop + 1;

    // Opens the port through `ports` with the type 1 settings; throws when
    // it cannot.
    Type1Driver(const char* portName, const CancelFlag* cancel,
                platform::SerialOpener& ports = platform::systemSerialOpener());
    ~Type1Driver() override;

    // Memory is read and written in blocks of at most 32 bytes.  n < 1 or no
    // buffer throws BadInstruction (7 for reads, 6 for writes); a range past
    // the memory top throws MemoryRangeError.  Both return n.
    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override;
    int write(uint32_t address, int count, const uint8_t* source, bool countProgress) override;
    // One raw exchange; the reply data are copied from reply position 4.
    int command(int sendCount, const uint8_t* sendBytes, int replyCount,
                uint8_t* destination) override;
    // Detection (at most `attempts` probes, no pause between them), then
    // Prepare().  Throws DeviceNotPresent when nothing answers.
    void open(int attempts) override;
    void prepare() override;
    bool nextDive() override { return downloadDive(); }
    void readHeader() override;

    bool downloadDive();
    bool endOfDives() const { return endOfDives_; }

  protected:
    // Fetches one dive with the given command byte into the current dive;
    // false when the computer has no dive left.
    bool getDiveData(uint8_t command);
    // Collects the dive's packets on the stack.
    void collectPackets(uint8_t command);
    // Reads the collected dive back from its end into `dive`; throws
    // BadDiveFormat when it is malformed.
    void parseDive(DiveRecord& dive);

  private:
    void detect(int attempts);
    void readBlock(uint32_t address, int count, uint8_t* destination, bool countProgress);
    void writeBlock(uint32_t address, int count, const uint8_t* source, bool countProgress);
    void checkRange(uint32_t address, int count) const;

    bool firstDive_ = true;
    bool endOfDives_ = false;
    // Dive bytes streamed since prepare().
    uint32_t streamed_ = 0;
    ByteStack stack_{StackCapacity};
    // The payload of the current dive's packets, in the order they came.
    std::vector<uint8_t> stream_;
    uint8_t packet_[MaxPacketBytes] = {};
};

}  // namespace talvek
