#include "sim/engine.h"

namespace talvek {

namespace sim {

using replay::ComputerImage;
using replay::Engine;

std::unique_ptr<Engine> makeEngine(ComputerImage image, EngineOptions options) {
    replay::EngineOptions plain = options;
    plain.lineFaults = std::make_shared<const Faults>(options.faults);
    return replay::makeEngine(std::move(image), std::move(plain));
}

}  // namespace sim

}  // namespace talvek
