#pragma once
// -image: a computer kept in an image file answers in process, behind an
// in-memory port, so the real drivers download it without a device.  Its
// pauses and time-outs run on a private virtual clock, installed as the
// clock in force for the download, so they cost no real time.
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "replay/memory_computer.h"

namespace talvek {

struct DriverFactory;

class ImageReplay {
  public:
    // Loads the image; throws std::runtime_error saying why it cannot.
    explicit ImageReplay(const std::string& path);
    ~ImageReplay();
    ImageReplay(const ImageReplay&) = delete;
    ImageReplay& operator=(const ImageReplay&) = delete;

    // The computer answers on `portName`; the returned drivers open it.
    DriverFactory drivers(const std::string& portName);
    // Makes the private clock the clock in force, and puts the one before
    // back (also done on destruction).
    void installClock();
    void restoreClock();

    int interfaceType() const;

  private:
    platform::VirtualClock clock_;
    platform::Clock* previous_ = nullptr;
    bool installed_ = false;
    platform::MemoryPortRegistry ports_;
    std::unique_ptr<replay::MemoryComputer> computer_;
};

}  // namespace talvek
