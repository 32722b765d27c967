#pragma once
// The in-memory port moved to the platform layer (talvek-dl replays images
// through it); this name is kept so that existing includes still work.
#include "platform/memory_port.h"
