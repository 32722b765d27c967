// A whole type 2 or type 3 download from a random memory image, through the
// in-process simulated computer on the in-memory port and the virtual clock:
// detection, header, the ring walk, and the documents.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "fuzz/fuzz_support.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/memory_computer.h"

using namespace talvek;

namespace {

template <class DriverType>
void download(platform::MemoryPortRegistry& ports) {
    CancelFlag cancel{false};
    DriverType driver("SIM", &cancel, ports);
    driver.open(1);
    driver.readHeader();
    // The ring walk ends by itself: every dive takes room in the ring.
    while (driver.nextDive()) {
    }
    fuzz::writeEveryLayout(driver.diveSet());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::VirtualClock clock;
    static platform::ScopedClock scoped(clock);
    const replay::ComputerImage image = fuzz::pagedComputer(data, size);
    sim::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("SIM", &computer);
    try {
        if (image.type == replay::InterfaceType::Type3)
            download<Type3Driver>(ports);
        else
            download<Type2Driver>(ports);
    } catch (const std::runtime_error&) {
        // Device errors and the writers' refusals: a damaged memory.
    }
    return 0;
}
