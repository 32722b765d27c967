// Writes the report of a simulated computer's memory, for the browser test
// and the README's screenshot; prints how many dives it holds and how many
// of them have samples, counted from what the simulator stored.
//
//   talvek_report_sample OUT.html [--type 1|2|3] [--dives N] [--seed N]
//                        [--units metric|imperial|scientific] [--no-sample-dive]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "output/report/html_report.h"
#include "output/units_converter.h"
#include "sim/dive_builder.h"
#include "support/meant_dive_set.h"

using namespace talvek;

namespace {

int usage() {
    std::cerr << "usage: talvek_report_sample OUT.html [--type 1|2|3] [--dives N] [--seed N]\n"
                 "       [--units metric|imperial|scientific] [--no-sample-dive]\n";
    return 2;
}

bool hasSamples(const sim::MeantDive& d, replay::InterfaceType type) {
    if (type != replay::InterfaceType::Type1) return !d.samples.empty();
    for (const sim::MeantT1Item& item : d.t1Items)
        if (item.kind == sim::MeantT1Item::Depth) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string out = argv[1];
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type2;
    o.dives = 3;
    o.seed = 3;
    UnitSystem units = UnitSystem::Metric;
    bool noSampleDive = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--type" && v) {
            o.type = static_cast<replay::InterfaceType>(std::atoi(v));
            ++i;
        } else if (a == "--dives" && v) {
            o.dives = std::atoi(v);
            ++i;
        } else if (a == "--seed" && v) {
            o.seed = static_cast<uint32_t>(std::atoi(v));
            ++i;
        } else if (a == "--units" && v) {
            const std::string u = v;
            units = u == "imperial"     ? UnitSystem::Imperial
                    : u == "scientific" ? UnitSystem::Scientific
                                        : UnitSystem::Metric;
            ++i;
        } else if (a == "--no-sample-dive") {
            noSampleDive = true;
        } else {
            return usage();
        }
    }

    const sim::BuiltComputer built = sim::buildComputer(o);
    DiveSet set = simtest::meantDiveSet(built.meant);
    int plotted = 0;
    for (const sim::MeantDive& d : built.meant.dives)
        if (!d.noDiveMarker && hasSamples(d, o.type)) ++plotted;
    if (noSampleDive) {
        // A dive the computer logged without a profile, between the others.
        auto empty = std::make_shared<DiveRecord>();
        empty->year = 10;
        empty->month = 2;
        empty->day = 24;
        empty->hour = 9;
        empty->diveNumber = 1;
        empty->sampleInterval = 20;
        set.dives.insert(set.dives.begin() + static_cast<long>(set.dives.size() / 2), empty);
    }

    DocumentStamp stamp;
    stamp.time.year = 2024;
    stamp.time.month = 6;
    stamp.time.day = 1;
    stamp.time.hour = 18;
    stamp.time.minute = 30;
    const std::string page = htmlReport(set, units, stamp);
    std::ofstream file(out, std::ios::binary);
    file << page;
    if (!file.flush()) {
        std::cerr << "cannot write " << out << "\n";
        return 1;
    }
    std::printf("dives %zu plotted %d\n", set.dives.size(), plotted);
    return 0;
}
