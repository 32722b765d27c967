// The type 1 dive stream: the dives a type 1 computer sends (as packets, by
// the simulated computer) are random, the driver collects and parses them,
// and the family 1 documents are written.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "dc/type1/type1_driver.h"
#include "fuzz/fuzz_support.h"
#include "platform/clock.h"
#include "platform/memory_port.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"

using namespace talvek;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::VirtualClock clock;
    static platform::ScopedClock scoped(clock);
    // The memory (settings, header) of one simulated computer; the dives
    // are the input.
    static const replay::ComputerImage base =
        sim::buildComputer({replay::InterfaceType::Type1, 3, 0}).image;
    replay::ComputerImage image = base;
    image.diveStreams = fuzz::diveStreams(data, size);
    sim::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("SIM", &computer);
    try {
        CancelFlag cancel{false};
        Type1Driver driver("SIM", &cancel, ports);
        driver.open(1);
        driver.readHeader();
        // One dive per stream, then the computer's end of dives.
        for (size_t n = 0; driver.nextDive(); ++n)
            if (n > image.diveStreams.size()) __builtin_trap();
        fuzz::writeEveryLayout(driver.diveSet());
    } catch (const std::runtime_error&) {
    }
    return 0;
}
