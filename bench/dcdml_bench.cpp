// The DCDML document of a full type 2 memory: about 32 KB of profile bytes in
// a few hundred dives, generated and serialised.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "output/dcdml/dcdml_family23_writer.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

constexpr int DiveCount = 300;
constexpr size_t ProfileBytes = 32 * 1024;

struct Memory {
    DiveSet set;
    DocumentStamp stamp{std::nullopt, platform::localTime()};
    size_t profileBytes = 0;

    Memory() {
        std::mt19937 rng(7);
        set.family = DataFamily::Family2;
        set.header[0x28] = 12;
        set.header[0x72] = 1;
        std::memcpy(set.header.data() + 0x30, "Bench Diver", 11);
        const size_t perDive = ProfileBytes / DiveCount;
        for (int n = 0; n < DiveCount; ++n) {
            DivePtr d(new DiveRecord);
            d->diveNumber = static_cast<uint8_t>(n % 4 + 1);
            d->sampleInterval = 20;
            d->temperatureInterval = 3;
            d->pressureSamples = n % 2;
            d->diveMode = static_cast<uint8_t>(n % 3);
            d->oxygen1 = 32;
            d->oxygen2 = 50;
            d->maxDepth = 2500;
            d->diveTime = 45;
            d->firstEventBlock = 10;
            std::vector<uint8_t> p;
            uint16_t samples = 0;
            bool pressure = d->pressureSamples != 0;
            while (p.size() + 5 <= perDive) {
                if (samples == 10) {  // one event block: deco, heading, end
                    p.insert(p.end(), {3, 3, 5, 4, 0, 2, 0xB4, 0x00, 1, 0xFF, 0xFF, 0, 0});
                }
                uint16_t depth = static_cast<uint16_t>(rng() % 3000);
                p.push_back(static_cast<uint8_t>(depth));
                p.push_back(static_cast<uint8_t>(depth >> 8));
                if (pressure) {
                    uint16_t pr = static_cast<uint16_t>(20000 - samples * 20);
                    p.push_back(static_cast<uint8_t>(pr));
                    p.push_back(static_cast<uint8_t>(pr >> 8));
                }
                if (samples % 3 == 0) p.push_back(static_cast<uint8_t>(rng() % 30));
                ++samples;
            }
            d->setProfile(p.data(), static_cast<uint32_t>(p.size()));
            profileBytes += p.size();
            set.dives.push_back(d);
        }
    }
};

Memory& theMemory() {
    static Memory m;
    return m;
}

void BM_GenerateDocument(benchmark::State& state) {
    Memory& m = theMemory();
    size_t out = 0;
    for (auto _ : state) {
        XmlDocument doc;
        doc.setFlags(XmlDocument::Utf8 | XmlDocument::Indent);
        DcdmlFamily23Writer gen(m.set, static_cast<UnitSystem>(state.range(0)), m.stamp);
        gen.make(doc);
        out = doc.outputLength();
        benchmark::DoNotOptimize(doc.outputBuffer());
    }
    state.counters["profile_bytes"] = static_cast<double>(m.profileBytes);
    state.counters["output_bytes"] = static_cast<double>(out);
}
BENCHMARK(BM_GenerateDocument)
    ->Arg(static_cast<int64_t>(UnitSystem::Metric))
    ->Arg(static_cast<int64_t>(UnitSystem::Imperial))
    ->Arg(static_cast<int64_t>(UnitSystem::Scientific))
    ->Unit(benchmark::kMillisecond);

// Serialisation alone (tree to UTF-8 text) of the same document.
void BM_Serialise(benchmark::State& state) {
    Memory& m = theMemory();
    XmlDocument doc;
    doc.setFlags(XmlDocument::Utf8 | XmlDocument::Indent);
    DcdmlFamily23Writer gen(m.set, UnitSystem::Metric, m.stamp);
    gen.make(doc);
    for (auto _ : state) {
        doc.build();
        benchmark::DoNotOptimize(doc.outputBuffer());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(doc.outputLength()));
}
BENCHMARK(BM_Serialise)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace talvek
