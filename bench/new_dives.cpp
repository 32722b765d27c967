// Downloads only the new dives (-new) of a full type 2 or type 3 memory from
// a paced simulated computer on a pseudo-terminal (opened through a link of
// its own, one port name for every run), through the session as talvek-dl
// runs it (real drivers, real clock, -dv=N), after a first -new run that
// finds no store and is the full download.  Then, each time from the store
// that download left, the computer goes diving (0, 1, 3, 10 new dives; each
// count a few times with other dives, whose length decides the pages to
// read) and -new runs again.  With 0 and 3 new dives the same run follows
// without -dv: the store remembers the type found on the port, so it is
// probed first; with 0 also without -dv from a store that remembers nothing
// (every type probed in order, as before the store remembered).  Last, a
// fallback: the newest stored dive changed (and 3 new dives), so -new reads
// the whole memory; each distinct page should be read once.  For each run: wall time of
// the session's body (its final 1000 ms pause included; the window's 1500 ms
// after it are not), the protocol floor (prescribed pauses plus the
// computer's bytes at the line rate, echo included), the page reads made
// and the pages that hold the newest stored dive's header and the new dives,
// and whether the document is byte for byte the one a full download of the
// same memory writes (checked by a full download in process on the virtual
// clock).
//
//   talvek_bench_new_dives [--type 2|3] [--seed S] [--trials N]
//   (both types, 3 trials by default; about 25 minutes)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/file_replace.h"
#include "platform/memory_port.h"
#include "session/command_line.h"
#include "session/session.h"
#include "sim/dive_builder.h"
#include "sim/memory_computer.h"
#include "sim/pty_server.h"
#include "trace/trace.h"

namespace talvek {

namespace {

uint16_t wordAt(const std::vector<uint8_t>& m, size_t at) {
    return static_cast<uint16_t>(m[at] | (m[at + 1] << 8));
}

void atFixedTime(const DiveSet& dives, const OutputChoice& choice, const DocumentStamp& stamp,
                 XmlDocument& document, const char* driverName) {
    DocumentStamp fixed = stamp;
    fixed.time = platform::LocalTime{2024, 5, 5, 17, 10, 20, 30, 0};
    writeDocument(dives, choice, fixed, document, driverName);
}

struct Silent : SessionSink {
    void statusText(const std::string&) override {}
    void progress(int) override {}
};

std::string readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    // Documents and stores of a full memory: well under 16 MB.
    platform::readWholeFile(path, bytes, size_t{16} << 20);
    return std::string(bytes.begin(), bytes.end());
}

// One session run; returns its exit code.
int runSession(const std::string& port, const std::vector<std::string>& options,
               platform::SerialOpener* ports) {
    std::vector<std::string> args = {"talvek-dl", "-p=" + port};
    args.insert(args.end(), options.begin(), options.end());
    Silent sink;
    SessionSetup setup;
    setup.ports = ports;
    setup.writer = atFixedTime;
    Session session(commandLineFromArgs(args), sink, std::move(setup));
    session.start();
    session.run();
    const int code = session.close();
    trace::shutdown();
    return code;
}

struct Figures {
    double wallMs = 0, floorMs = 0;
    std::multiset<uint32_t> pages;  // page reads, by page index
    int code = -1;
};

// The computer's bytes as they went over the line, from the engine's log.
class Wire {
  public:
    void line(const std::string& text) {
        std::lock_guard<std::mutex> g(mutex_);
        const bool host = text.rfind("host  > ", 0) == 0, reply = text.rfind("sim   < ", 0) == 0;
        if (!host && !reply) return;
        std::vector<uint8_t> bytes;
        for (size_t at = 8; at + 1 < text.size(); at += 3)
            bytes.push_back(
                static_cast<uint8_t>(std::strtoul(text.substr(at, 2).c_str(), nullptr, 16)));
        if (host) {
            sent_.insert(sent_.end(), bytes.begin(), bytes.end());
        } else {
            ++replies_;
            replyBytes_ += bytes.size();
        }
    }
    // Floor and page reads of what went over the wire.
    void figures(int type, Figures& f) const {
        std::lock_guard<std::mutex> g(mutex_);
        uint64_t reads = 0, identities = 0;
        for (size_t i = 0; i + 3 < sent_.size();) {
            if (sent_[i] == 0x0F && sent_[i + 1] == 0 && sent_[i + 2] == 0) {
                ++identities;
                i += 4;
            } else if (sent_[i] == 0x05 && sent_[i + 1] == 0 && sent_[i + 2] == 3 &&
                       i + 6 < sent_.size()) {
                ++reads;
                const uint32_t address = (sent_[i + 3] << 8) | sent_[i + 4];
                const uint32_t n = sent_[i + 5];
                if (n == 120 || (n == 113 && address == 0x7F86))
                    f.pages.insert((address - 0x016E) / 120);
                i += 7;
            } else {
                ++i;
            }
        }
        // Pauses: 500 ms before every block read, 100 ms after each identity
        // read, the link's turn-around per exchange, 100 ms after the header
        // and the final 1000 ms; type 2's cable echoes the host's bytes.
        const double pauses = 500.0 * reads + 100.0 * identities +
                              (type == 2 ? 16.0 : 25.0) * replies_ + 100.0 + 1000.0;
        const uint64_t device = replyBytes_ + (type == 2 ? sent_.size() : 0);
        f.floorMs = pauses + device * 10.0 * 1000.0 / 9600.0;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<uint8_t> sent_;
    uint64_t replies_ = 0, replyBytes_ = 0;
};

// `port` becomes a link to the computer's pseudo-terminal.
Figures pacedRun(const replay::ComputerImage& image, int type, const std::string& port,
                 const std::vector<std::string>& options) {
    auto wire = std::make_shared<Wire>();
    sim::EngineOptions engine;
    engine.pace = true;
    engine.log = [wire](const std::string& line) { wire->line(line); };
    sim::PtyServer server(image, engine);
    std::filesystem::remove(port);
    std::filesystem::create_symlink(server.slavePath(), port);
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.serve(stop); });
    Figures f;
    const auto t0 = std::chrono::steady_clock::now();
    f.code = runSession(port, options, nullptr);
    f.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    stop = true;
    serving.join();
    wire->figures(type, f);
    return f;
}

// The document of a full download of `image`, in process on the virtual clock.
std::string fullDocument(const replay::ComputerImage& image,
                         const std::vector<std::string>& options, const std::string& output) {
    platform::VirtualClock clock(1000);
    platform::ScopedClock scoped(clock);
    sim::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("FULL", &computer);
    std::vector<std::string> plain;
    for (const auto& o : options)
        if (o != "-new" && o.rfind("-store", 0) != 0 && o.rfind("-f=", 0) != 0 &&
            o.rfind("-cdblog=", 0) != 0)
            plain.push_back(o);
    plain.push_back("-f=" + output);
    if (runSession("FULL", plain, &ports) != 0) return std::string();
    return readAll(output);
}

std::set<uint32_t> expectedPages(uint32_t top, uint32_t newestStored,
                                 const std::vector<sim::MeantDive>& added) {
    std::set<uint32_t> pages;
    auto span = [&](uint32_t address, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t a = address + i;
            if (a >= top) a = a - top + replay::RingStart;
            pages.insert((a - 0x016E) / 120);
        }
    };
    span(newestStored, 84);
    for (const auto& d : added)
        span(d.headerAddress,
             std::max<uint32_t>(84, d.headerSize + static_cast<uint32_t>(d.profile.size())));
    return pages;
}

// Every file of `dir`, by name, with its bytes.
std::vector<std::pair<std::string, std::string>> snapshot(const std::string& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files.emplace_back(e.path().string(), readAll(e.path().string()));
    return files;
}

void restore(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [path, bytes] : files) platform::replaceFile(path, bytes.data(), bytes.size());
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void benchType(int type, uint32_t seed, int trials, const std::string& work) {
    sim::BuildOptions o;
    o.type = static_cast<replay::InterfaceType>(type);
    o.seed = seed;
    o.fill = true;
    const replay::ComputerImage full = sim::buildComputer(o).image;
    const uint32_t top = replay::ringTop(o.type);
    const std::string out = work + "/out.xml", store = work + "/store" + std::to_string(type),
                      port = work + "/dc" + std::to_string(type);
    const std::vector<std::string> options = {"-new",
                                              "-store=" + store,
                                              "-dv=" + std::to_string(type),
                                              "-v=2",
                                              "-um",
                                              "-f=" + out,
                                              "-cdblog=" + work + "/trace" + std::to_string(type)};
    std::vector<std::string> noDv = options;
    noDv.erase(noDv.begin() + 2);

    std::printf("type %d, full memory: %u dives\n", type, wordAt(full.memory, 0x192));
    std::printf("  %-34s %9s %9s %9s %6s %11s %9s %s\n", "run", "new bytes", "wall ms", "floor ms",
                "ratio", "page reads", "expected", "document");
    auto row = [&](const std::string& what, const replay::ComputerImage& image, uint32_t bytes,
                   const Figures& f, const std::vector<std::string>& used,
                   const std::string& expected) {
        const std::set<uint32_t> distinct(f.pages.begin(), f.pages.end());
        const std::string doc = f.code != 0 ? "run failed (" + std::to_string(f.code) + ")"
                                : readAll(out) == fullDocument(image, used, work + "/full.xml")
                                    ? "same as full"
                                    : "DIFFERS";
        std::printf("  %-34s %9u %9.0f %9.0f %6.3f %5zu (%3zu) %9s %s\n", what.c_str(), bytes,
                    f.wallMs, f.floorMs, f.wallMs / f.floorMs, f.pages.size(), distinct.size(),
                    expected.c_str(), doc.c_str());
        std::fflush(stdout);
    };
    row("full, no store", full, 0, pacedRun(full, type, port, options), options, "-");
    const auto stored = snapshot(store);

    struct Summary {
        std::string what;
        std::vector<double> wall, floor, pages;
    };
    std::vector<Summary> summaries;
    // Without -dv against the same run with it, trial by trial.
    std::vector<std::string> pairs;
    for (int added : {0, 1, 3, 10}) {
        Summary dv{std::to_string(added) + " new, -dv", {}, {}, {}};
        Summary remembered{std::to_string(added) + " new, no -dv", {}, {}, {}};
        Summary forgotten{std::to_string(added) + " new, no -dv, none kept", {}, {}, {}};
        for (int t = 1; t <= (added == 0 ? 1 : trials); ++t) {
            // The computer dives; each run starts from the store as the full
            // download left it.
            replay::ComputerImage image = full;
            const uint32_t newest = wordAt(image.memory, 0x190);
            const auto meant = sim::addDives(image, added, seed * 1000 + static_cast<uint32_t>(t));
            uint32_t bytes = 0;
            for (const auto& d : meant)
                bytes += d.headerSize + static_cast<uint32_t>(d.profile.size());
            const std::set<uint32_t> want = expectedPages(top, newest, meant);
            auto measure = [&](Summary& sum, const std::vector<std::string>& used,
                               const std::string& label, bool forget) {
                restore(stored);
                if (forget) std::filesystem::remove(store + "/ports.txt");
                const Figures f = pacedRun(image, type, port, used);
                const std::set<uint32_t> got(f.pages.begin(), f.pages.end());
                row(std::to_string(added) + " new, trial " + std::to_string(t) + label, image,
                    bytes, f, used, std::to_string(want.size()) + (got == want ? " =" : " !="));
                sum.wall.push_back(f.wallMs);
                sum.floor.push_back(f.floorMs);
                sum.pages.push_back(static_cast<double>(f.pages.size()));
                return f.wallMs;
            };
            const double withDv = measure(dv, options, "", false);
            if (added != 0 && added != 3) continue;
            const double without = measure(remembered, noDv, ", no -dv", false);
            char pair[120];
            std::snprintf(pair, sizeof pair,
                          "%2d new, trial %d: no -dv %.0f ms, -dv %.0f ms (%+.1f %%)", added, t,
                          without, withDv, (without / withDv - 1.0) * 100.0);
            pairs.push_back(pair);
            if (added == 0) measure(forgotten, noDv, ", no -dv, none kept", true);
        }
        for (Summary* sum : {&dv, &remembered, &forgotten})
            if (!sum->wall.empty()) summaries.push_back(*sum);
    }

    // The newest stored dive changed (its number in the series), and three
    // new dives: -new checks its header, finds it changed and reads all.
    {
        restore(stored);
        replay::ComputerImage image = full;
        const uint32_t newest = wordAt(image.memory, 0x190);
        sim::addDives(image, 3, seed * 1000 + 99);
        image.memory[newest + 30 >= top ? newest + 30 - top + replay::RingStart : newest + 30] ^=
            0x40;
        const Figures f = pacedRun(image, type, port, noDv);
        const std::set<uint32_t> distinct(f.pages.begin(), f.pages.end());
        row("fallback, no -dv", image, 0, f, noDv,
            std::to_string(distinct.size()) + (distinct.size() == f.pages.size() ? " =" : " !="));
    }

    std::printf("  median of the trials:\n");
    for (const Summary& s : summaries)
        std::printf("  %-34s wall %6.0f ms (%.0f..%.0f), floor %6.0f ms, page reads %.0f\n",
                    s.what.c_str(), median(s.wall), *std::min_element(s.wall.begin(), s.wall.end()),
                    *std::max_element(s.wall.begin(), s.wall.end()), median(s.floor),
                    median(s.pages));
    std::printf("  without -dv against the same run with it:\n");
    for (const std::string& p : pairs) std::printf("  %s\n", p.c_str());
    std::fflush(stdout);
}

}  // namespace

}  // namespace talvek

using namespace talvek;

int main(int argc, char** argv) {
    std::vector<int> types = {2, 3};
    uint32_t seed = 1;
    int trials = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--type") && i + 1 < argc) {
            types = {std::atoi(argv[++i])};
        } else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) {
            seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (!std::strcmp(argv[i], "--trials") && i + 1 < argc) {
            trials = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--type 2|3] [--seed S] [--trials N]\n", argv[0]);
            return 2;
        }
    }
    char pattern[] = "/tmp/talvek_bench_new_XXXXXX";
    const char* work = mkdtemp(pattern);
    if (!work) return 1;
    std::printf(
        "page reads: made (distinct); expected: the pages of the newest stored dive's\n"
        "header and of the new dives' headers and profiles (= when they are the same;\n"
        "for the fallback: the distinct pages, = when each was read once)\n\n");
    for (int type : types) {
        if (type != 2 && type != 3) return 2;
        benchType(type, seed, trials, work);
    }
    std::printf("\n(work files in %s)\n", work);
    return 0;
}
