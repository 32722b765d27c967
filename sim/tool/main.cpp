// talvek-sim: serves a simulated dive computer on a pseudo-terminal.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/clock.h"
#include "platform/os.h"
#include "platform/posix/pty.h"
#include "sim/dive_builder.h"
#include "sim/pty_server.h"

using namespace talvek;

namespace {

const char* const Usage =
    "Usage: talvek-sim --type 1|2|3 [--dives N] [--seed S] [--image FILE]\n"
    "                  [--add-dives N] [--save-image FILE] [--link PATH] [--pace]\n"
    "                  [--verbose]\n"
    "                  [memory options] [fault options]\n"
    "\n"
    "Serves a simulated dive computer on a pseudo-terminal until SIGINT or\n"
    "SIGTERM.  The first line on standard output is the device path the\n"
    "downloader must open (its port option).  The host may close and reopen\n"
    "the device between probes.\n"
    "\n"
    "  --type T            interface type: 1 (2400 baud, dives streamed in packets,\n"
    "                      answers 350 ms after each command), 2 (9600 baud, the\n"
    "                      cable echoes every byte), 3 (9600 baud, no echo)\n"
    "  --dives N           dives the computer has recorded (default 12; the\n"
    "                      oldest dives go when the memory is full)\n"
    "  --seed S            seed of the generated memory and of added dives\n"
    "                      (default 1); the same seed gives the same memory\n"
    "  --image FILE        serve the memory kept in FILE instead of generating one\n"
    "                      (--type may be left out; if given it must match)\n"
    "  --add-dives N       the computer goes diving first: N more dives are logged\n"
    "                      after the newest one (the oldest dives go when the\n"
    "                      memory is full); --save-image keeps\n"
    "                      the result\n"
    "  --save-image FILE   write the computer's state to FILE when serving starts\n"
    "                      and again when the tool stops (keeps the host's writes)\n"
    "  --link PATH         also make PATH a symbolic link to the device (removed\n"
    "                      on exit; an existing regular file is never replaced)\n"
    "  --pace              send at the line rate, 10 bits a byte at 2400 (type 1)\n"
    "                      or 9600 baud, so downloads take realistic times\n"
    "  --verbose           log every frame received and sent, in hex, on stderr\n"
    "  --help              show this text\n"
    "\n"
    "Memory options (generated memories only):\n"
    "  --fill              types 2, 3: record dives until the dive ring is full\n"
    "  --wrap              types 2, 3: the dive ring wraps past the memory top\n"
    "  --header-across-top types 2, 3: one dive header straddles the memory top\n"
    "  --no-end-marker     types 2, 3: one dive header lacks its end marker\n"
    "  --no-dive-marker    type 1: one dive lacks its 0x80 marker\n"
    "  --truncated-profile one dive's profile is cut short\n"
    "  --broken-dive K     which stored dive the last three damage (oldest is 0;\n"
    "                      default the middle one)\n"
    "  --overlapping-dives N  types 2, 3: a damaged ring of N dive headers 4 bytes\n"
    "                      apart, each profile running round the whole ring\n"
    "  --silent-full-dive  type 1: a dive whose length is a multiple of 32 ends in\n"
    "                      silence instead of an empty packet\n"
    "\n"
    "Fault options:\n"
    "  --corrupt-every N   corrupt the checksum of every Nth reply\n"
    "  --stop-after N      answer N replies, then stay silent\n"
    "  --hang-up-after N   send N bytes, then close the device (an unplugged\n"
    "                      cable); the tool then waits for its signal\n"
    "  --no-echo           type 2: the cable does not echo\n"
    "  --garbage           answer every frame with as many random bytes\n"
    "  --trickle MS        send one byte every MS milliseconds\n"
    "  --flood             send random bytes all the time, besides the answers\n"
    "  --zeros             the line reads only zero bytes (floating line, break)\n"
    "\n"
    "Exit status: 0 after a signal, 1 when the device cannot be served, 2 for\n"
    "bad options.\n";

struct UsageError {
    std::string text;
};

long long number(const char* opt, const char* v, long long lo, long long hi) {
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(v, &end, 10);
    if (errno || !end || *end || end == v || n < lo || n > hi)
        throw UsageError{std::string("bad value for ") + opt + ": " + v};
    return n;
}

std::atomic<uint64_t> startMs{0};

void logLine(const std::string& line) {
    std::fprintf(stderr, "%8llu %s\n",
                 static_cast<unsigned long long>(platform::nowMs() - startMs.load()), line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    sim::BuildOptions build;
    sim::EngineOptions engine;
    int type = 0;
    int addDives = 0;
    std::string image, saveImage, link;
    bool verbose = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> const char* {
                if (i + 1 >= argc) throw UsageError{"missing value for " + a};
                return argv[++i];
            };
            if (a == "--help" || a == "-h") {
                std::fputs(Usage, stdout);
                return 0;
            } else if (a == "--type") {
                type = static_cast<int>(number("--type", value(), 1, 3));
            } else if (a == "--dives") {
                build.dives = static_cast<int>(number("--dives", value(), 0, 2000));
            } else if (a == "--seed") {
                build.seed = static_cast<uint32_t>(number("--seed", value(), 0, 0xFFFFFFFFll));
            } else if (a == "--image") {
                image = value();
            } else if (a == "--add-dives") {
                addDives = static_cast<int>(number("--add-dives", value(), 0, 2000));
            } else if (a == "--save-image") {
                saveImage = value();
            } else if (a == "--link") {
                link = value();
            } else if (a == "--pace") {
                engine.pace = true;
            } else if (a == "--verbose") {
                verbose = true;
            } else if (a == "--fill") {
                build.fill = true;
            } else if (a == "--wrap") {
                build.wrap = true;
            } else if (a == "--header-across-top") {
                build.headerAcrossTop = true;
            } else if (a == "--no-end-marker") {
                build.noEndMarker = true;
            } else if (a == "--no-dive-marker") {
                build.noDiveMarker = true;
            } else if (a == "--truncated-profile") {
                build.truncatedProfile = true;
            } else if (a == "--broken-dive") {
                build.brokenDive = static_cast<int>(number("--broken-dive", value(), 0, 2000));
            } else if (a == "--silent-full-dive") {
                engine.silentAfterFullDive = true;
            } else if (a == "--corrupt-every") {
                engine.faults.corruptEvery =
                    static_cast<uint32_t>(number("--corrupt-every", value(), 1, 1000000));
            } else if (a == "--stop-after") {
                engine.faults.stopAfterReplies = number("--stop-after", value(), 0, 1ll << 40);
            } else if (a == "--hang-up-after") {
                engine.faults.hangUpAfterBytes = number("--hang-up-after", value(), 0, 1ll << 40);
            } else if (a == "--no-echo") {
                engine.faults.dropEcho = true;
            } else if (a == "--garbage") {
                engine.faults.garbage = true;
            } else if (a == "--trickle") {
                engine.faults.trickle =
                    static_cast<uint32_t>(number("--trickle", value(), 1, 60000));
            } else if (a == "--flood") {
                engine.faults.flood = sim::Flood::Random;
            } else if (a == "--zeros") {
                engine.faults.flood = sim::Flood::Zeros;
            } else if (a == "--overlapping-dives") {
                build.overlappingDives =
                    static_cast<int>(number("--overlapping-dives", value(), 1, 2000));
            } else {
                throw UsageError{"unknown option " + a};
            }
        }
        if (type == 0 && image.empty()) throw UsageError{"--type or --image is required"};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "talvek-sim: %s\n\n%s", e.text.c_str(), Usage);
        return 2;
    }

    startMs = platform::nowMs();
    if (verbose) engine.log = logLine;
    try {
        replay::ComputerImage state;
        if (!image.empty()) {
            state = replay::loadImage(image);
            if (type != 0 && static_cast<int>(state.type) != type) {
                std::fprintf(stderr, "talvek-sim: %s holds a type %d computer, not type %d\n",
                             image.c_str(), static_cast<int>(state.type), type);
                return 2;
            }
        } else {
            build.type = static_cast<replay::InterfaceType>(type);
            state = sim::buildComputer(build).image;
        }
        if (addDives > 0) sim::addDives(state, addDives, build.seed);
        if (!saveImage.empty()) replay::saveImage(state, saveImage);

        sim::PtyServer server(std::move(state), std::move(engine));
        platform::installStopSignals();
        if (!link.empty()) {
            int error = 0;
            if (!platform::createSymlink(server.slavePath(), link, error)) {
                std::fprintf(stderr, "talvek-sim: cannot create link %s: %s\n", link.c_str(),
                             platform::errorText(error).c_str());
                return 1;
            }
        }
        std::printf("%s\n", server.slavePath().c_str());
        std::fflush(stdout);
        if (verbose)
            logLine("serving a type " + std::to_string(static_cast<int>(server.engine().type())) +
                    " computer on " + server.slavePath());
        server.serve(std::function<bool()>([] { return platform::stopRequested(); }));
        if (!link.empty()) platform::removeFile(link);
        if (!saveImage.empty()) replay::saveImage(server.engine().image(), saveImage);
        if (verbose) logLine("stopped");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvek-sim: %s\n", e.what());
        if (!link.empty()) platform::removeFile(link);
        return 1;
    }
    return 0;
}
