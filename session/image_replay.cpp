#include "session/image_replay.h"

#include "replay/computer_image.h"

namespace talvek {

ImageReplay::ImageReplay(const std::string& path, const InterfaceTable& interfaces) {
    replay::ComputerImage image = replay::loadImage(path, interfaces.imageShapes());
    type_ = static_cast<int>(image.type);
    // The shapes know only rows that can make a computer.
    computer_ = interfaces.find(type_)->makeComputer(std::move(image));
}

ImageReplay::~ImageReplay() {
    restoreClock();
}

platform::SerialOpener& ImageReplay::ports(const std::string& portName) {
    ports_.add(portName, computer_.get());
    return ports_;
}

void ImageReplay::installClock() {
    if (installed_) return;
    previous_ = platform::setClock(&clock_);
    installed_ = true;
}

void ImageReplay::restoreClock() {
    if (!installed_) return;
    platform::setClock(previous_);
    installed_ = false;
}

}  // namespace talvek
