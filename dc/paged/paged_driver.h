#pragma once
// The driver of the second and third interface generations: detection by
// identity reads, memory access in 40- and 120-byte blocks over the type's
// link, the header image, and the dive download through RingWalker.  What
// differs between the two types (family code, memory top, link, trace texts,
// the identity read's pause) comes from `Traits`: Type2DriverTraits and
// Type3DriverTraits.
#include <cstdint>
#include <memory>

#include "dc/base/driver.h"
#include "dc/paged/paged_memory.h"
#include "dc/ring/ring_walker.h"
#include "platform/serial_port.h"

namespace talvek {

template <class Traits>
class PagedDriver : public Driver, public Traits::Link {
  public:
    using Link = typename Traits::Link;

    // Opens the port through `ports` with the type's link settings; throws
    // when it cannot.
    PagedDriver(const char* portName, const CancelFlag* cancel,
                platform::SerialOpener& ports = platform::systemSerialOpener());
    ~PagedDriver() override;

    // Reads and writes follow the block rules of paged_memory.h; a write
    // drops the kept ring pages.
    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override;
    int write(uint32_t address, int count, const uint8_t* source, bool countProgress) override;
    // One raw exchange: the send bytes go into the link's send buffer, and
    // `replyCount` reply bytes from position 6 are copied to `destination`
    // when one is given, never past the receive buffer.
    int command(int sendCount, const uint8_t* sendBytes, int replyCount,
                uint8_t* destination) override;
    // Identity reads until one answers (at most `attempts`, 500 ms apart),
    // then Prepare.  Throws UserCancel or DeviceNotPresent.
    void open(int attempts) override;
    void prepare() override;
    bool nextDive() override;
    void readHeader() override;
    ResumeResult resumeAfter(const std::vector<RawDive>& stored) override;

    // Identity read: model and firmware into the image, then the memory map.
    void readIdentity();

  private:
    // One read-memory or write-memory exchange of at most 120 bytes.
    void blockRead(uint32_t address, int count, uint8_t* destination);
    void blockWrite(uint32_t address, int count, const uint8_t* source);
    // Puts a stored dive's bytes into the capture where nothing was read, so
    // that a dump of a resumed download replays as a whole one.
    void fillFromStore(const RawDive& dive);

    bool firstDive_ = false;
    // The ring's pages read on this connection, whichever walk read them: a
    // walk prepared again (a -new that falls back to the whole download)
    // reads none of them twice.
    PageCache pages_;
    std::unique_ptr<RingWalker> downloader_;
};

}  // namespace talvek
