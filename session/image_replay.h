#pragma once
// -image: a computer kept in an image file answers in process, behind an
// in-memory port, so the real drivers download it without a device.  Its
// pauses and time-outs run on a private virtual clock, installed as the
// clock in force for the download, so they cost no real time.
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "session/interface_table.h"

namespace talvek {

class ImageReplay {
  public:
    // Loads the image, whose type must be a row of `interfaces` that can be
    // replayed; throws std::runtime_error saying why it cannot.
    ImageReplay(const std::string& path, const InterfaceTable& interfaces);
    ~ImageReplay();
    ImageReplay(const ImageReplay&) = delete;
    ImageReplay& operator=(const ImageReplay&) = delete;

    // The computer answers on `portName` of the returned ports.
    platform::SerialOpener& ports(const std::string& portName);
    // Makes the private clock the clock in force, and puts the one before
    // back (also done on destruction).
    void installClock();
    void restoreClock();

    int interfaceType() const { return type_; }

  private:
    platform::VirtualClock clock_;
    platform::Clock* previous_ = nullptr;
    bool installed_ = false;
    platform::MemoryPortRegistry ports_;
    int type_ = 0;
    std::unique_ptr<platform::MemoryPeer> computer_;
};

}  // namespace talvek
