// Downloads a type 2 (or 3) computer from a paced simulated computer on a
// pseudo-terminal through the library, on the real clock, and sets the wall
// time against the protocol floor: the pauses the protocol prescribes plus
// the time the computer's bytes (echo included) take on the line.
//
//   talvek_bench_ring_download [--type 2|3] [--dives N | --full] [--seed S]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dc/base/errors.h"
#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "sim/dive_builder.h"
#include "sim/pty_server.h"

namespace talvek {

namespace {

// Counts the driver's device exchanges and the bytes on the wire.
template <class Driver>
class Counted : public Driver {
  public:
    using Driver::Driver;
    int read(uint32_t address, int count, uint8_t* destination, bool countProgress) override {
        if (!countProgress) {
            pages.insert(address);
            ++pageReads;
        }
        // Reads of 120 bytes or fewer are one exchange; longer ones are not
        // made by a download.
        ++exchanges;
        const int block = count < 40 ? 40 : count;
        hostBytes += 7;  // 6 frame bytes and the checksum
        replyBytes += block + 7;
        pausesMs += 500;  // before every block read
        return Driver::read(address, count, destination, countProgress);
    }
    // The two identity reads (Open, ReadHeader) do not go through Read:
    // 3 command bytes and the checksum, an 8-byte reply.
    uint64_t exchanges = 2;
    uint64_t pageReads = 0;
    uint64_t hostBytes = 2 * 4;
    uint64_t replyBytes = 2 * 8;
    uint64_t pausesMs = 0;
    std::set<uint32_t> pages;
};

struct Figures {
    double wallMs = 0;
    uint64_t exchanges = 0, pageReads = 0, distinctPages = 0, touchedPages = 0;
    uint64_t hostBytes = 0, deviceBytes = 0;
    double floorMs = 0;
    size_t dives = 0;
};

std::set<uint32_t> touched(const sim::MeantComputer& m, uint32_t top) {
    auto wrap = [&](uint32_t a) { return a >= top ? a - top + 0x019A : a; };
    std::set<uint32_t> pages;
    for (const auto& d : m.dives) {
        uint32_t span = d.headerSize + static_cast<uint32_t>(d.profile.size());
        if (span < 84) span = 84;
        for (uint32_t i = 0; i < span; ++i)
            pages.insert((wrap(d.headerAddress + i) - 0x016E) / 120);
    }
    return pages;
}

template <class Driver>
Figures run(const sim::BuiltComputer& built, int type) {
    sim::EngineOptions options;
    options.pace = true;
    sim::PtyServer server(built.image, options);
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.serve(stop); });

    CancelFlag cancel{false};
    Figures f;
    const auto t0 = std::chrono::steady_clock::now();
    {
        Counted<Driver> d(server.slavePath().c_str(), &cancel);
        d.open(4);
        d.readHeader();
        while (d.nextDive()) {
        }
        f.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count();
        f.dives = d.dives().size();
        f.exchanges = d.exchanges;
        f.pageReads = d.pageReads;
        f.distinctPages = d.pages.size();
        f.hostBytes = d.hostBytes;
        // Identity is followed by a 100 ms pause, twice (Open and ReadHeader).
        const double pauses = static_cast<double>(d.pausesMs) + 2 * 100.0 +
                              static_cast<double>(d.exchanges) * (type == 2 ? 16.0 : 25.0);
        // Type 2's cable echoes every byte the host sends.
        const uint64_t echo = type == 2 ? d.hostBytes : 0;
        f.deviceBytes = d.replyBytes + echo;
        f.floorMs = pauses + static_cast<double>(f.deviceBytes) * 10.0 * 1000.0 / 9600.0;
    }
    stop = true;
    serving.join();
    f.touchedPages = touched(built.meant, type == 2 ? 0x7FFE : 0x7FF7).size();
    if (server.engine().repliesSent() != f.exchanges)
        std::fprintf(stderr, "note: the computer sent %llu replies, counted %llu exchanges\n",
                     static_cast<unsigned long long>(server.engine().repliesSent()),
                     static_cast<unsigned long long>(f.exchanges));
    return f;
}

}  // namespace

}  // namespace talvek

using namespace talvek;

int main(int argc, char** argv) {
    int type = 2, dives = 30;
    uint32_t seed = 1;
    bool full = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--type") && i + 1 < argc)
            type = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dives") && i + 1 < argc)
            dives = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = std::strtoul(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--full"))
            full = true;
        else {
            std::fprintf(stderr, "usage: %s [--type 2|3] [--dives N | --full] [--seed S]\n",
                         argv[0]);
            return 2;
        }
    }
    sim::BuildOptions o;
    o.type = type == 3 ? replay::InterfaceType::Type3 : replay::InterfaceType::Type2;
    o.seed = seed;
    o.dives = dives;
    o.fill = full;
    const sim::BuiltComputer built = sim::buildComputer(o);
    try {
        const Figures f = type == 3 ? run<Type3Driver>(built, 3) : run<Type2Driver>(built, 2);
        std::printf("type %d, %s: %zu dives, %u ring bytes\n", type,
                    full ? "full memory" : "typical", f.dives, built.meant.ringBytesUsed);
        std::printf("  wall time          %10.0f ms\n", f.wallMs);
        std::printf("  device exchanges   %10llu\n", static_cast<unsigned long long>(f.exchanges));
        std::printf("  page reads         %10llu (distinct %llu, pages the dives touch %llu)\n",
                    static_cast<unsigned long long>(f.pageReads),
                    static_cast<unsigned long long>(f.distinctPages),
                    static_cast<unsigned long long>(f.touchedPages));
        std::printf("  bytes on the wire  %10llu (host %llu, computer %llu incl. echo)\n",
                    static_cast<unsigned long long>(f.hostBytes + f.deviceBytes),
                    static_cast<unsigned long long>(f.hostBytes),
                    static_cast<unsigned long long>(f.deviceBytes));
        std::printf("  protocol floor     %10.0f ms\n", f.floorMs);
        std::printf("  ratio wall/floor   %10.3f\n", f.wallMs / f.floorMs);
        std::printf("  window end pauses  %10d ms (1000 + 1500, not included above)\n", 2500);
    } catch (const Error& e) {
        std::fprintf(stderr, "download failed: code %d\n", e.code());
        return 1;
    }
    return 0;
}
