// The HTML report of a full type 2 memory, built, and built and written to a
// file through the replace-by-rename path the program uses.  Two full
// memories: every dive the simulated computer's ring holds (about 60 long
// dives), and the same 32 KB of profile in 110 shorter dives, which costs
// more per byte (each dive has its own axes and marks).  Counters: dives,
// samples, page bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "output/report/html_report.h"
#include "output/units_converter.h"
#include "platform/file_replace.h"
#include "sim/dive_builder.h"

namespace talvek {

namespace {

DiveSet fullMemory() {
    sim::BuildOptions o;
    o.type = replay::InterfaceType::Type2;
    o.seed = 7;
    o.fill = true;
    const sim::BuiltComputer built = sim::buildComputer(o);
    DiveSet set;
    set.family = DataFamily::Family2;
    set.header[0x28] = built.meant.model;
    for (const sim::MeantDive& d : built.meant.dives) {
        auto record = std::make_shared<DiveRecord>();
        sim::fillDiveData(d, o.type, *record);
        set.dives.push_back(record);
    }
    return set;
}

// 110 dives of about 300 profile bytes each: down to a bottom depth, slowly
// up, a safety stop, a temperature every third sample, one event block.
DiveSet hundredAndTenDives() {
    DiveSet set;
    set.family = DataFamily::Family2;
    set.header[0x28] = 20;
    const size_t perDive = 32 * 1024 / 110;
    for (int n = 0; n < 110; ++n) {
        auto d = std::make_shared<DiveRecord>();
        d->year = 20;
        d->month = static_cast<uint8_t>(1 + n % 12);
        d->day = static_cast<uint8_t>(1 + n % 28);
        d->hour = static_cast<uint8_t>(8 + n % 10);
        d->diveNumber = static_cast<uint8_t>(1 + n % 3);
        d->sampleInterval = 20;
        d->temperatureInterval = 3;
        d->firstEventBlock = 40;
        d->diveMode = static_cast<uint8_t>(n % 2);
        d->oxygen1 = 32;
        const int bottom = 1200 + (n * 137) % 2500;  // cm
        std::vector<uint8_t> p;
        int k = 0;
        while (p.size() + 8 <= perDive) {
            if (k == 40) p.insert(p.end(), {3, 3, 5, 5, 50, 0, 1, 0xFF, 0xFF, 0, 0});
            const int depth = k < 6 ? bottom * k / 6 : std::max(300, bottom - (k - 6) * 12);
            p.push_back(static_cast<uint8_t>(depth));
            p.push_back(static_cast<uint8_t>(depth >> 8));
            if (k % 3 == 0) p.push_back(static_cast<uint8_t>(24 - depth / 400));
            ++k;
        }
        p.insert(p.end(), {0, 0, 0, 0, 0});
        d->maxDepth = static_cast<uint16_t>(bottom);
        d->diveTime = static_cast<uint16_t>(k / 3);
        d->setProfile(p.data(), static_cast<uint32_t>(p.size()));
        set.dives.push_back(d);
    }
    return set;
}

const DiveSet& memory(int which) {
    static const DiveSet ring = fullMemory();
    static const DiveSet many = hundredAndTenDives();
    return which == 0 ? ring : many;
}

DocumentStamp stamp() {
    DocumentStamp s;
    s.time.year = 2024;
    s.time.month = 6;
    s.time.day = 1;
    return s;
}

void BM_ReportOfAFullMemory(benchmark::State& state) {
    const DiveSet& set = memory(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string page = htmlReport(set, UnitSystem::Metric, stamp());
        bytes = page.size();
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["dives"] = static_cast<double>(set.dives.size());
    state.counters["bytes"] = static_cast<double>(bytes);
    size_t profile = 0;
    for (const ConstDivePtr& d : set.dives) profile += d->profileLength;
    state.counters["profile"] = static_cast<double>(profile);
}
BENCHMARK(BM_ReportOfAFullMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReportOfAFullMemoryWritten(benchmark::State& state) {
    const DiveSet& set = memory(static_cast<int>(state.range(0)));
    char dir[] = "/tmp/talvek-report-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::string file = std::string(dir) + "/report.html";
    for (auto _ : state) {
        const std::string page = htmlReport(set, UnitSystem::Metric, stamp());
        if (!platform::replaceFile(file, page.data(), page.size()).ok()) {
            state.SkipWithError("cannot write the report");
            break;
        }
    }
    ::unlink(file.c_str());
    ::rmdir(dir);
    state.counters["dives"] = static_cast<double>(set.dives.size());
}
BENCHMARK(BM_ReportOfAFullMemoryWritten)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace talvek
