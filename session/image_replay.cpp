#include "session/image_replay.h"

#include "session/download_worker.h"

namespace talvek {

ImageReplay::ImageReplay(const std::string& path)
    : computer_(std::make_unique<replay::MemoryComputer>(replay::loadImage(path))) {}

ImageReplay::~ImageReplay() {
    restoreClock();
}

DriverFactory ImageReplay::drivers(const std::string& portName) {
    ports_.add(portName, computer_.get());
    return defaultDriverFactory(ports_);
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

int ImageReplay::interfaceType() const {
    return static_cast<int>(computer_->image().type);
}

}  // namespace talvek
