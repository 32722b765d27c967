#pragma once
#include <atomic>

namespace talvek {

// The worker's cancel flag: written by the GUI thread, read by the drivers
// and their links.
using CancelFlag = std::atomic<bool>;

}  // namespace talvek
