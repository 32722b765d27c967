#pragma once
// The simulator serves computer images; the image format lives in the replay
// layer (talvek-dl writes and replays images too).  The simulator's names for
// it.
#include "replay/computer_image.h"

namespace talvek {

namespace sim {

using replay::baudRate;
using replay::ComputerImage;
using replay::crc32;
using replay::decodeImage;
using replay::encodeImage;
using replay::InterfaceType;
using replay::loadImage;
using replay::memorySize;
using replay::RingStart;
using replay::ringTop;
using replay::saveImage;
using replay::Type1MaxDiveStream;
using replay::Type1MemorySize;
using replay::Type1MemoryTop;
using replay::Type23MemorySize;
using replay::Type2MemoryTop;
using replay::Type3MemoryTop;
using replay::xorSum;

}  // namespace sim

}  // namespace talvek
