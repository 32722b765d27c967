#include "sim/dive_builder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>

#include "dc/base/dive_record.h"

namespace talvek {

namespace sim {

using replay::ComputerImage;
using replay::InterfaceType;
using replay::memorySize;
using replay::RingStart;
using replay::ringTop;
namespace {

// A small deterministic generator (the standard distributions differ
// between libraries, so memories would differ between machines).
class Rng {
  public:
    explicit Rng(uint32_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint32_t next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return static_cast<uint32_t>((s_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    // Inclusive range.
    int range(int lo, int hi) {
        return lo + static_cast<int>(next() % static_cast<uint32_t>(hi - lo + 1));
    }
    bool chance(int percent) { return range(0, 99) < percent; }

  private:
    uint64_t s_;
};

void putLE(std::vector<uint8_t>& v, size_t at, uint16_t w) {
    v[at] = static_cast<uint8_t>(w);
    v[at + 1] = static_cast<uint8_t>(w >> 8);
}

void putBE(std::vector<uint8_t>& v, size_t at, uint16_t w) {
    v[at] = static_cast<uint8_t>(w >> 8);
    v[at + 1] = static_cast<uint8_t>(w);
}

// Days since 1970-01-01 <-> civil date.
int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// When each dive happened: repetition series on dive days.
class Logbook {
  public:
    explicit Logbook(Rng& rng) : rng_(rng) {
        minutes_ = (daysFromCivil(2009, 3, 14) + rng_.range(0, 400)) * 1440;
    }

    // Goes on after a dive already logged (minutes since 1970); the next
    // dive starts a series on a later day.
    void resumeAfter(int64_t startMin, int64_t endMin) {
        minutes_ = startMin;
        lastEnd_ = endMin;
        seriesLeft_ = 0;
        first_ = false;
    }

    // Starts the next dive; `durationMin` is its length.
    void next(MeantDive& d, int durationMin) {
        int64_t start;
        if (seriesLeft_ == 0) {
            seriesLeft_ = rng_.range(1, 4);
            // The first series on record starts with its second dive: the
            // first was logged before this memory begins.
            number_ = first_ ? 2 : 1;
            const int64_t day = minutes_ / 1440 + rng_.range(1, 20);
            start = day * 1440 + rng_.range(7 * 60, 11 * 60);
        } else {
            start = lastEnd_ + rng_.range(55, 200);
        }
        const int64_t si = first_ ? 0 : std::min<int64_t>(start - lastEnd_, 99 * 60 + 59);
        d.surfaceIntervalHours = static_cast<uint8_t>(si / 60);
        d.surfaceIntervalMinutes = static_cast<uint8_t>(si % 60);
        d.diveNumber = static_cast<uint8_t>(number_++);
        int y, m, dd;
        civilFromDays(start / 1440, y, m, dd);
        d.year = static_cast<uint8_t>(y - 2000);
        d.month = static_cast<uint8_t>(m);
        d.day = static_cast<uint8_t>(dd);
        d.hour = static_cast<uint8_t>((start % 1440) / 60);
        d.minute = static_cast<uint8_t>(start % 60);
        d.second = static_cast<uint8_t>(rng_.range(0, 59));
        minutes_ = start;
        lastEnd_ = start + durationMin;
        --seriesLeft_;
        first_ = false;
    }

  private:
    Rng& rng_;
    int64_t minutes_ = 0;
    int64_t lastEnd_ = 0;
    int seriesLeft_ = 0;
    int number_ = 1;
    bool first_ = true;
};

MeantEvent code(uint8_t c) {
    return {3, c, 0, 0, 0, 0};
}

// Every record type and every event code, spread over the dives in turn.
std::vector<std::vector<MeantEvent>> eventPlan() {
    return {
        {code(3), code(131)},
        {code(4), code(132)},
        {code(1), code(129)},
        {code(5), code(136)},
        {code(6), code(134)},
        {code(7), code(135)},
        {code(8), code(133)},
        {code(9), code(137)},
        {code(13), code(141)},
        {code(14)},
        {code(142)},
        {{2, 0, 1, 0, 0, 0}},
        {{4, 0, 0, 0, 0, 0x8003}},
        {{4, 0, 2, 0, 0, 2 * 274}},
        {{5, 0, 0, 32, 0, 0}},
        {code(143)},
        {code(77)},
        {code(200)},
        {{0, 0, 0, 0, 0, 0}},
        {{9, 0, 0, 0, 0, 0}},
    };
}

// Type 1 profile markers: events, bytes the host ignores.
const std::vector<uint8_t> T1Markers = {122, 123, 124, 125, 126, 127, 129};
const std::vector<uint8_t> T1Ignored = {121, 130, 131, 132, 133};

// Linear depth curve through way points (sample index, depth).
std::vector<int> curve(const std::vector<std::pair<int, int>>& w, int n, Rng& rng, int noise) {
    std::vector<int> d(static_cast<size_t>(n), 0);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        const auto [k0, d0] = w[i];
        const auto [k1, d1] = w[i + 1];
        for (int k = k0; k <= k1 && k < n; ++k) {
            const int base = k1 == k0 ? d1 : d0 + (d1 - d0) * (k - k0) / (k1 - k0);
            const bool wayPoint = k == k0 || k == k1;
            d[static_cast<size_t>(k)] =
                std::max(0, base + (wayPoint ? 0 : rng.range(-noise, noise)));
        }
    }
    return d;
}

struct Dive23 {
    MeantDive meant;
    std::vector<uint8_t> header;  // without links (filled when placed)
    std::vector<MeantSample> allSamples;
    std::vector<MeantBlock> allBlocks;
};

bool temperatureDue(uint32_t k, uint8_t interval) {
    return interval == 0 ? k == 0 : k % interval == 0;
}

// Encodes samples and blocks; returns the byte offset where each sample starts.
std::vector<size_t> encodeProfile(MeantDive& d) {
    std::vector<size_t> starts;
    auto& p = d.profile;
    p.clear();
    size_t j = 0;
    const bool pressure = d.pressureSamples != 0;
    for (size_t k = 0; k <= d.samples.size(); ++k) {
        while (j < d.blocks.size() && d.blocks[j].sampleIndex == k) {
            for (const auto& e : d.blocks[j].events) {
                p.push_back(e.type);
                switch (e.type) {
                    case 2:
                        p.insert(p.end(), {e.data2, e.data4});
                        break;
                    case 3:
                        p.insert(p.end(), {e.data1, e.data4});
                        break;
                    case 4:
                        p.insert(p.end(), {e.data2, e.data4, static_cast<uint8_t>(e.word),
                                           static_cast<uint8_t>(e.word >> 8)});
                        break;
                    case 5:
                        p.insert(p.end(), {e.data3, e.data4});
                        break;
                    default:
                        break;
                }
            }
            const auto& b = d.blocks[j];
            p.insert(p.end(), {1, static_cast<uint8_t>(b.link1), static_cast<uint8_t>(b.link1 >> 8),
                               static_cast<uint8_t>(b.link2), static_cast<uint8_t>(b.link2 >> 8)});
            ++j;
        }
        if (k == d.samples.size()) {
            // The computer closes a profile with three zero bytes.  A reader
            // wants four bytes (five with a temperature) before it takes a
            // sample, even one of two or three bytes; the trailer lets it
            // take the last sample without seeing a further one.
            p.insert(p.end(), {0, 0, 0});
            break;
        }
        starts.push_back(p.size());
        const auto& s = d.samples[k];
        p.insert(p.end(), {static_cast<uint8_t>(s.depth), static_cast<uint8_t>(s.depth >> 8)});
        if (pressure)
            p.insert(p.end(),
                     {static_cast<uint8_t>(s.pressure), static_cast<uint8_t>(s.pressure >> 8)});
        if (s.hasTemperature) p.push_back(static_cast<uint8_t>(s.temperature));
    }
    return starts;
}

void encodeHeader(Dive23& dv) {
    MeantDive& d = dv.meant;
    const uint32_t p = d.headerSize - 6;  // end marker position
    auto& h = dv.header;
    h.assign(d.headerSize, 0);
    putLE(h, 4, static_cast<uint16_t>(d.sequence));
    putLE(h, 13, d.maxDepth);
    putLE(h, 15, d.diveTime);
    h[19] = d.cnsOtu;
    h[21] = d.hour;
    h[22] = d.minute;
    h[23] = d.second;
    putLE(h, 24, static_cast<uint16_t>(2000 + d.year));
    h[26] = d.month;
    h[27] = d.day;
    h[28] = d.sampleInterval;
    h[29] = d.diveMode;
    h[30] = d.diveNumber;
    h[31] = d.surfaceIntervalHours;
    h[32] = d.surfaceIntervalMinutes;
    h[33] = d.rgbm;
    h[34] = d.personalFactor;
    h[35] = d.altitudeFactor;
    h[37] = d.oxygen1;
    h[38] = d.oxygen2;
    h[39] = d.oxygen3;
    for (int i = 0; i < 9; ++i) putLE(h, 41 + 2 * i, d.tissue[i]);
    h[d.headerSize - 7] = d.temperatureInterval;
    if (!d.noEndMarker) {
        h[p] = 0x80;
        h[p + 1] = 0x01;
    }
    putLE(h, p + 2, static_cast<uint16_t>(dv.allSamples.size()));
    putLE(h, d.headerSize - 2, d.firstEventBlock);
}

Dive23 makeDive23(Rng& rng, Logbook& log, uint32_t seq, uint32_t sizeOffset, size_t planFrom,
                  size_t planCount, const std::vector<std::vector<MeantEvent>>& plan,
                  bool forceNitrox) {
    Dive23 dv;
    MeantDive& d = dv.meant;
    d.sequence = seq;
    // Any eleven dives in a row use all eleven header sizes.
    d.headerSize = 73 + (seq * 4 + sizeOffset) % 11;
    d.pressureSamples = d.headerSize >= 77 ? 1 : 0;
    const int kind = forceNitrox ? 0 : static_cast<int>(seq % 5);  // 0,3 nitrox; 1,4 air; 2 gauge
    const uint8_t intervals[] = {10, 20, 30, 20};
    d.sampleInterval = intervals[rng.range(0, 3)];
    const int durationMin = rng.range(12, 50);
    const int n = std::max(30, durationMin * 60 / d.sampleInterval);
    log.next(d, durationMin);
    d.diveTime = static_cast<uint16_t>(n * d.sampleInterval / 60);
    d.oxygenFraction = 127;
    d.rgbm = rng.chance(50) ? 50 : 100;
    d.personalFactor = static_cast<uint8_t>(rng.range(0, 2));
    d.altitudeFactor = static_cast<uint8_t>(rng.range(0, 2));
    d.personalAltitude = static_cast<uint8_t>(d.personalFactor * 3 + d.altitudeFactor);
    for (auto& t : d.tissue) t = static_cast<uint16_t>(rng.range(150, 4200));
    if (kind == 0 || kind == 3) {
        d.diveMode = 1;
        d.oxygen1 = static_cast<uint8_t>(rng.range(26, 36));
        if (kind == 0) d.oxygen2 = 50;
        if (kind == 0 && seq % 10 == 0) d.oxygen3 = 99;
        d.cnsOtu = static_cast<uint8_t>(0x80 + rng.range(3, 60));
    } else {
        d.diveMode = kind == 2 ? 2 : 0;
        d.oxygen1 = 21;
        d.cnsOtu = static_cast<uint8_t>(rng.range(0, 90));
    }
    // Every 11th dive stores a single temperature; the others one every 1..4 samples.
    d.temperatureInterval = seq % 11 == 7 ? 0 : static_cast<uint8_t>(rng.range(1, 4));

    // Depth curve in centimetres: descent, a bottom phase, ascent, safety stop.
    const int step = d.sampleInterval;
    const int maxD = rng.range(700, 4200);
    const int desc = std::max(1, maxD / (1800 * step / 60));
    const int ascRate = 900 * step / 60;
    const int stopS = maxD > 1000 ? 180 / step : 0;
    const int asc = std::max(1, (maxD * 7 / 10 - 500) / ascRate);
    const int fin = std::max(1, 500 / ascRate);
    int total = std::max(n, desc + asc + stopS + fin + 6);
    const int bottomEnd = total - 1 - fin - stopS - asc;
    std::vector<std::pair<int, int>> w = {
        {0, std::min(maxD, 1800 * step / 60)}, {desc, maxD}, {bottomEnd, maxD * 7 / 10}};
    if (stopS) {
        w.push_back({bottomEnd + asc, 500});
        w.push_back({bottomEnd + asc + stopS, 450});
    }
    w.push_back({total - 1, 20});
    const auto depth = curve(w, total, rng, 25);

    const bool ice = seq % 9 == 4;
    const int t0 = ice ? 3 : rng.range(12, 27);
    const int tb = ice ? -2 : t0 - rng.range(2, 10);
    int pressure = rng.range(19000, 23000);  // hundredths of a bar
    for (int k = 0; k < total; ++k) {
        MeantSample s;
        s.depth = static_cast<uint16_t>(depth[static_cast<size_t>(k)]);
        if (d.pressureSamples) {
            s.pressure = static_cast<uint16_t>(pressure);
            // About 0.8 bar a minute at the surface, more at depth.
            pressure = std::max(
                1500, pressure - 80 * (1000 + s.depth) / 1000 * step / 60 - rng.range(0, 10));
        }
        s.hasTemperature = temperatureDue(static_cast<uint32_t>(k), d.temperatureInterval);
        s.temperature = static_cast<int8_t>(t0 + (tb - t0) * std::min<int>(s.depth, 2000) / 2000);
        dv.allSamples.push_back(s);
    }
    d.maxDepth = *std::max_element(depth.begin(), depth.end());
    d.diveTime = static_cast<uint16_t>(total * step / 60);

    // Event blocks.
    // Conditions first, their ends later in the dive.
    std::vector<MeantEvent> evs, ends;
    for (size_t i = 0; i < planCount; ++i) {
        const auto& entry = plan[(planFrom + i) % plan.size()];
        for (size_t j = 0; j < entry.size(); ++j) {
            MeantEvent e = entry[j];
            e.data4 = static_cast<uint8_t>(rng.range(0, step - 1));
            const bool endsSomething = j > 0 || (e.type == 3 && e.data1 >= 128);
            (endsSomething ? ends : evs).push_back(e);
        }
    }
    evs.insert(evs.end(), ends.begin(), ends.end());
    std::vector<MeantBlock> blocks;
    const size_t nb = (evs.size() + 1) / 2;
    for (size_t b = 0; b < nb; ++b) {
        MeantBlock blk;
        blk.sampleIndex = static_cast<uint16_t>(
            seq == 0 && b == 0 ? 0 : 1 + b * static_cast<size_t>(total - 3) / nb);
        for (size_t e = b * 2; e < std::min(evs.size(), b * 2 + 2); ++e)
            blk.events.push_back(evs[e]);
        blocks.push_back(blk);
    }
    if (d.oxygen2) {  // the deco gas at the start of the ascent
        blocks.push_back({static_cast<uint16_t>(bottomEnd), {{3, 15, 0, 0, 0, 0}}, 0, 0});
        if (d.oxygen3)
            blocks.push_back(
                {static_cast<uint16_t>(bottomEnd + asc), {{5, 0, 0, d.oxygen3, 0, 0}}, 0, 0});
    }
    std::stable_sort(blocks.begin(), blocks.end(), [](const MeantBlock& a, const MeantBlock& b) {
        return a.sampleIndex < b.sampleIndex;
    });
    for (const auto& b : blocks) {
        if (!dv.allBlocks.empty() && dv.allBlocks.back().sampleIndex == b.sampleIndex) {
            auto& into = dv.allBlocks.back().events;
            into.insert(into.end(), b.events.begin(), b.events.end());
        } else {
            dv.allBlocks.push_back(b);
        }
    }
    for (size_t b = 0; b < dv.allBlocks.size(); ++b) {
        auto& blk = dv.allBlocks[b];
        const uint16_t nextIndex =
            b + 1 < dv.allBlocks.size() ? dv.allBlocks[b + 1].sampleIndex : uint16_t{0xFFFF};
        blk.link1 = blk.sampleIndex;
        blk.link2 = static_cast<uint16_t>(nextIndex - blk.sampleIndex);
    }
    d.firstEventBlock = dv.allBlocks.empty() ? 0xFFFF : dv.allBlocks.front().sampleIndex;
    d.samples = dv.allSamples;
    d.blocks = dv.allBlocks;
    encodeProfile(d);
    encodeHeader(dv);
    return dv;
}

// Cuts the profile one byte into a sample two thirds of the way through.
void truncate23(Dive23& dv) {
    MeantDive& d = dv.meant;
    const auto starts = encodeProfile(d);
    const size_t kc = d.samples.size() * 2 / 3;
    d.profile.resize(starts[kc] + 1);
    // A reader takes sample k only while 4 bytes (5 with a temperature) are
    // left from its start, so the samples just before the cut are lost too.
    size_t whole = 0;
    while (whole < kc &&
           d.profile.size() - starts[whole] >= (d.samples[whole].hasTemperature ? 5u : 4u))
        ++whole;
    d.samples.resize(whole);
    d.blocks.erase(std::remove_if(d.blocks.begin(), d.blocks.end(),
                                  [whole](const MeantBlock& b) { return b.sampleIndex > whole; }),
                   d.blocks.end());
    d.truncated = true;
}

// True when the header scan of a host (0x80 0x01 at 67..77, first match)
// finds no marker in the header followed by its profile.
bool scanFindsNoMarker(const Dive23& dv) {
    std::vector<uint8_t> all(dv.header);
    all.insert(all.end(), dv.meant.profile.begin(), dv.meant.profile.end());
    for (size_t q = 67; q <= 77 && q + 1 < all.size(); ++q)
        if (all[q] == 0x80 && all[q + 1] == 0x01) return false;
    return true;
}

struct Placement {
    std::vector<uint32_t> addr;
    size_t firstStored = 0;
    uint32_t end = 0;
    int straddling = 0;      // stored headers that run past the top
    bool endsAtTop = false;  // a stored header ends exactly at the top
    bool wraps = false;      // the stored dives run past the top
};

Placement place(const std::vector<Dive23>& dives, uint32_t start, uint32_t top) {
    const uint32_t ring = top - RingStart;
    Placement pl;
    uint32_t w = start;
    uint32_t used = 0;
    std::deque<size_t> stored;
    for (size_t i = 0; i < dives.size(); ++i) {
        const uint32_t len =
            dives[i].meant.headerSize + static_cast<uint32_t>(dives[i].meant.profile.size());
        while (!stored.empty() && used + len >= ring) {
            used -= dives[stored.front()].meant.headerSize +
                    static_cast<uint32_t>(dives[stored.front()].meant.profile.size());
            stored.pop_front();
        }
        pl.addr.push_back(w);
        stored.push_back(i);
        used += len;
        w += len;
        if (w >= top) w = w - top + RingStart;
    }
    pl.firstStored = stored.empty() ? dives.size() : stored.front();
    pl.end = w;
    for (size_t i : stored) {
        const uint32_t a = pl.addr[i];
        const uint32_t hEnd = a + dives[i].meant.headerSize;
        const uint32_t len = hEnd - a + static_cast<uint32_t>(dives[i].meant.profile.size());
        if (hEnd > top) ++pl.straddling;
        if (hEnd == top) pl.endsAtTop = true;
        if (a + len > top) pl.wraps = true;
    }
    return pl;
}

void writeRing(std::vector<uint8_t>& mem, uint32_t at, const std::vector<uint8_t>& bytes,
               uint32_t top) {
    for (uint8_t b : bytes) {
        mem[at] = b;
        if (++at >= top) at = RingStart;
    }
}

const char* const PersonalTexts[] = {
    "Aino Virtanen, +358 40 123 4567",
    "Property of the Harbour Dive Club",
    "M. Lindqvist  Blood group 0+  Call +4670",  // exactly 40 characters
    "Eero K.",
    "",
};

// The model codes a simulated computer of each interface type may have.
std::vector<uint8_t> modelsOf(InterfaceType t) {
    switch (t) {
        case InterfaceType::Type1:
            return {3, 4, 5, 10, 11, 12, 13};
        case InterfaceType::Type2:
            return {14, 15, 16, 17, 18};
        default:
            return {19, 20, 21};
    }
}

MeantComputer baseIdentity(Rng& rng, InterfaceType t) {
    MeantComputer mc;
    mc.type = t;
    const std::vector<uint8_t> models = modelsOf(t);
    mc.model = models[static_cast<size_t>(rng.range(0, static_cast<int>(models.size()) - 1))];
    mc.firmware[0] = static_cast<uint8_t>(rng.range(1, 3));
    mc.firmware[1] = static_cast<uint8_t>(rng.range(0, 9));
    mc.firmware[2] = static_cast<uint8_t>(rng.range(0, 20));
    for (auto& s : mc.serial) s = static_cast<uint8_t>(rng.range(0, 99));
    mc.personalText = PersonalTexts[rng.range(0, 4)];
    mc.metric = rng.chance(70);
    return mc;
}

void build23(const BuildOptions& o, Rng& rng, BuiltComputer& out) {
    const uint32_t top = ringTop(o.type);
    MeantComputer& mc = out.meant;
    ComputerImage& img = out.image;
    img = ComputerImage::blank(o.type);
    mc = baseIdentity(rng, o.type);
    img.identity = {mc.model, mc.firmware[0], mc.firmware[1], mc.firmware[2]};

    // Record the dives.
    const auto plan = eventPlan();
    Logbook log(rng);
    std::vector<Dive23> dives;
    const uint32_t ring = top - RingStart;
    uint64_t bytes = 0;
    const int wanted = o.fill ? 100000 : std::max(0, o.dives);
    const size_t perDive =
        o.fill
            ? 1
            : std::clamp<size_t>((plan.size() + wanted - 1) / std::max(1, wanted), 1, plan.size());
    const uint32_t sizeOffset = static_cast<uint32_t>(rng.range(0, 10));
    for (int i = 0; i < wanted; ++i) {
        if (o.fill && bytes > ring + ring / 3) break;
        dives.push_back(makeDive23(rng, log, static_cast<uint32_t>(i), sizeOffset,
                                   static_cast<size_t>(i) * perDive, perDive, plan, wanted == 1));
        bytes += dives.back().meant.headerSize + dives.back().meant.profile.size();
    }

    // Where recording began: the ring start for a new computer, near the
    // top to make the ring wrap.  The computer never splits a header so
    // that the profile would begin at or beyond the top, unless asked to.
    const uint32_t firstLen =
        dives.empty()
            ? 100
            : dives[0].meant.headerSize + static_cast<uint32_t>(dives[0].meant.profile.size());
    const uint32_t base = o.wrap || o.headerAcrossTop
                              ? top - std::min<uint32_t>(ring / 2, firstLen * 3 / 2)
                              : RingStart;
    auto search = [&]() {
        for (uint32_t off = 0; off < 4000; ++off) {
            uint32_t s = base + off;
            if (s >= top) s = s - top + RingStart;
            const Placement pl = place(dives, s, top);
            const bool wantWrap = o.wrap || o.headerAcrossTop;
            if (pl.endsAtTop) continue;
            if (o.headerAcrossTop ? pl.straddling != 1 : pl.straddling != 0) continue;
            if (wantWrap && !pl.wraps && !dives.empty()) continue;
            return std::make_pair(s, pl);
        }
        throw std::invalid_argument("dive builder: no layout meets the options");
    };
    auto [start, pl] = search();

    // Deliberate damage to one stored dive.
    const size_t storedCount = dives.size() - pl.firstStored;
    if ((o.noEndMarker || o.truncatedProfile) && storedCount > 0) {
        size_t idx = o.brokenDive < 0
                         ? storedCount / 2
                         : std::min<size_t>(static_cast<size_t>(o.brokenDive), storedCount - 1);
        if (o.truncatedProfile) truncate23(dives[pl.firstStored + idx]);
        if (o.noEndMarker) {
            size_t tries = 0;
            Dive23* target = nullptr;
            for (; tries < storedCount; ++tries) {
                Dive23& cand = dives[pl.firstStored + (idx + tries) % storedCount];
                cand.meant.noEndMarker = true;
                encodeHeader(cand);
                if (scanFindsNoMarker(cand)) {
                    target = &cand;
                    break;
                }
                cand.meant.noEndMarker = false;
                encodeHeader(cand);
            }
            if (!target) throw std::invalid_argument("dive builder: cannot remove an end marker");
        }
        std::tie(start, pl) = search();
    }

    // Write them as the computer did, oldest first; later dives overwrite
    // what is left of older ones.
    std::fill(img.memory.begin() + RingStart, img.memory.begin() + top, 0xFF);
    for (size_t i = 0; i < dives.size(); ++i) {
        Dive23& dv = dives[i];
        dv.meant.headerAddress = pl.addr[i];
        dv.meant.olderLink = i > 0 ? pl.addr[i - 1] : 0;
        dv.meant.newerLink = i + 1 < dives.size() ? pl.addr[i + 1] : pl.end;
        putLE(dv.header, 0, static_cast<uint16_t>(dv.meant.olderLink));
        putLE(dv.header, 2, static_cast<uint16_t>(dv.meant.newerLink));
        std::vector<uint8_t> all(dv.header);
        all.insert(all.end(), dv.meant.profile.begin(), dv.meant.profile.end());
        writeRing(img.memory, pl.addr[i], all, top);
    }
    for (size_t i = pl.firstStored; i < dives.size(); ++i) mc.dives.push_back(dives[i].meant);
    mc.overwritten = static_cast<uint32_t>(pl.firstStored);

    // Settings area.
    for (uint32_t a = 0; a < RingStart; ++a)
        img.memory[a] = static_cast<uint8_t>(rng.range(0, 255));
    std::copy(std::begin(mc.serial), std::end(mc.serial), img.memory.begin() + 0x23);
    putLE(img.memory, 0x34, mc.metric ? 0 : 1);
    std::fill(img.memory.begin() + 0x15E, img.memory.begin() + 0x186, 0);
    std::copy(mc.personalText.begin(), mc.personalText.end(), img.memory.begin() + 0x15E);
    uint32_t maxDepth = 0, time = 0;
    for (const auto& d : dives) {
        maxDepth = std::max<uint32_t>(maxDepth, d.meant.maxDepth);
        time += d.meant.diveTime;
    }
    mc.maxDepth = static_cast<uint16_t>(maxDepth);
    mc.totalDiveTime = static_cast<uint16_t>(std::min<uint32_t>(time, 0xFFFF));
    mc.totalDives = static_cast<uint16_t>(dives.size());
    putLE(img.memory, 0x186, mc.maxDepth);
    putLE(img.memory, 0x188, mc.totalDiveTime);
    putLE(img.memory, 0x18A, mc.totalDives);
    std::fill(img.memory.begin() + 0x18C, img.memory.begin() + 0x190, 0);
    mc.diveCount = static_cast<uint16_t>(mc.dives.size());
    mc.endPointer = static_cast<uint16_t>(dives.empty() ? start : pl.end);
    mc.startPointer =
        static_cast<uint16_t>(mc.dives.empty() ? mc.endPointer : mc.dives.front().headerAddress);
    mc.newestHeader = static_cast<uint16_t>(mc.dives.empty() ? 0 : mc.dives.back().headerAddress);
    mc.ringBytesUsed = mc.endPointer >= mc.startPointer
                           ? mc.endPointer - mc.startPointer
                           : (top - mc.startPointer) + (mc.endPointer - RingStart);
    putLE(img.memory, 0x190, mc.newestHeader);
    putLE(img.memory, 0x192, mc.diveCount);
    putLE(img.memory, 0x194, mc.endPointer);
    putLE(img.memory, 0x196, mc.startPointer);
    putLE(img.memory, 0x198, 0);
    for (uint32_t a = top; a < img.memory.size(); ++a) img.memory[a] = 0;
}

// Type 1: one transmitted stream per dive.
MeantDive makeDive1(Rng& rng, Logbook& log, uint32_t seq, size_t planFrom, size_t planCount,
                    std::vector<uint8_t>& stream, uint8_t& o2raw) {
    MeantDive d;
    d.sequence = seq;
    const uint8_t intervals[] = {20, 30, 60, 30};
    d.sampleInterval = intervals[rng.range(0, 3)];
    const int durationMin = rng.range(15, 55);
    const int n = std::max(20, durationMin * 60 / d.sampleInterval);
    log.next(d, durationMin);
    d.second = 0;  // a type 1 dive carries no seconds
    d.personalFactor = static_cast<uint8_t>(rng.range(0, 2));
    d.altitudeFactor = static_cast<uint8_t>(rng.range(0, 2));
    d.rgbm = rng.chance(50) ? 1 : 0;
    d.personalAltitude =
        static_cast<uint8_t>((d.personalFactor * 3 + d.altitudeFactor) | (d.rgbm << 4));
    const bool nitrox = seq % 3 == 1 || seq == 0;
    o2raw = nitrox ? static_cast<uint8_t>(rng.range(28, 36)) : 0;
    d.oxygen1 = nitrox ? o2raw : 21;
    d.diveMode = nitrox ? 1 : 0;
    d.oxygenFraction = nitrox ? static_cast<uint8_t>(o2raw * 2) : 42;
    const uint8_t gp1raw = static_cast<uint8_t>(rng.range(190, 254));
    const uint8_t gp2raw = static_cast<uint8_t>(rng.range(40, 120));
    d.startCylinderPressure = (gp1raw >> 1) & 0x7F;
    d.endCylinderPressure = (gp2raw >> 1) & 0x7F;
    d.startTemperature = static_cast<uint8_t>(rng.range(14, 28));
    d.maxDepthTemperature = static_cast<uint8_t>(d.startTemperature - rng.range(2, 9));
    d.endTemperature = static_cast<uint8_t>(d.maxDepthTemperature + rng.range(0, 3));
    d.cnsOtu = nitrox ? static_cast<uint8_t>(0x81 + rng.range(0, 50))
                      : static_cast<uint8_t>(rng.range(0, 70));
    d.diveTime = static_cast<uint16_t>(n * d.sampleInterval / 60);

    // Depth in feet; the profile holds the change per sample.
    const int step = d.sampleInterval;
    const int maxFt = rng.range(30, 130);
    const int desc = std::max(1, maxFt / (60 * step / 60));
    const int asc = std::max(1, maxFt / (30 * step / 60));
    const int total = std::max(n, desc + asc + 4);
    const auto depth = curve({{0, std::min(maxFt, step)},
                              {desc, maxFt},
                              {total - 1 - asc, maxFt * 2 / 3},
                              {total - 1, 0}},
                             total, rng, 2);
    d.maxDepth = static_cast<uint16_t>(*std::max_element(depth.begin(), depth.end()));

    // Markers between samples, every marker and ignored byte in turn.
    std::vector<std::vector<uint8_t>> extra(static_cast<size_t>(total));
    const size_t kinds = T1Markers.size() + T1Ignored.size();
    for (size_t i = 0; i < planCount; ++i) {
        const size_t c = (planFrom + i) % kinds;
        const uint8_t b = c < T1Markers.size() ? T1Markers[c] : T1Ignored[c - T1Markers.size()];
        extra[1 + (i * 7 + 3) % static_cast<size_t>(total - 2)].push_back(b);
    }
    if (nitrox)
        extra[static_cast<size_t>(total - 1 - asc)].insert(
            extra[static_cast<size_t>(total - 1 - asc)].end(), {135, 50});
    if (seq % 6 == 4)
        extra[static_cast<size_t>(desc)].insert(extra[static_cast<size_t>(desc)].end(), {135, 21});

    int prev = 0;
    for (int k = 0; k < total; ++k) {
        const int delta = std::clamp(depth[static_cast<size_t>(k)] - prev, -120, 120);
        prev += delta;
        d.profile.push_back(static_cast<uint8_t>(static_cast<int8_t>(delta)));
        d.t1Items.push_back(
            {MeantT1Item::Depth, static_cast<uint8_t>(static_cast<int8_t>(delta)), prev});
        const auto& x = extra[static_cast<size_t>(k)];
        for (size_t i = 0; i < x.size(); ++i) {
            const uint8_t b = x[i];
            d.profile.push_back(b);
            if (b == 135) {
                d.profile.push_back(x[++i]);
                d.t1Items.push_back({MeantT1Item::GasSwitch, x[i], prev});
            } else {
                const bool marker =
                    std::find(T1Markers.begin(), T1Markers.end(), b) != T1Markers.end();
                d.t1Items.push_back({marker ? MeantT1Item::Marker : MeantT1Item::Ignored, b, prev});
            }
        }
    }
    stream = {static_cast<uint8_t>(seq & 0x7F),
              static_cast<uint8_t>((seq >> 7) & 0x7F),
              d.cnsOtu,
              gp2raw,
              d.endTemperature,
              d.maxDepthTemperature,
              0x80};
    stream.insert(stream.end(), d.profile.rbegin(), d.profile.rend());
    stream.insert(stream.end(),
                  {d.minute, d.hour, d.day, d.month, d.year, d.startTemperature, d.oxygenFraction,
                   o2raw, gp1raw, d.personalAltitude, d.sampleInterval, d.diveNumber,
                   d.surfaceIntervalHours, d.surfaceIntervalMinutes});
    return d;
}

// A type 1 computer streams its dives from its 8 KB memory: a new dive
// overwrites the oldest, which are streamed no more (the totals still count
// them).  Returns how many streams went.
size_t dropOverwrittenStreams(ComputerImage& img) {
    size_t bytes = 0, kept = 0;
    const auto& s = img.diveStreams;
    while (kept < s.size() && bytes + s[s.size() - 1 - kept].size() <= replay::Type1StreamsTotal)
        bytes += s[s.size() - 1 - kept++].size();
    const size_t gone = s.size() - kept;
    img.diveStreams.erase(img.diveStreams.begin(),
                          img.diveStreams.begin() + static_cast<std::ptrdiff_t>(gone));
    return gone;
}

void build1(const BuildOptions& o, Rng& rng, BuiltComputer& out) {
    MeantComputer& mc = out.meant;
    ComputerImage& img = out.image;
    img = ComputerImage::blank(InterfaceType::Type1);
    mc = baseIdentity(rng, InterfaceType::Type1);
    img.identity = {mc.model, mc.firmware[0], 0, 0};
    for (auto& b : img.memory) b = static_cast<uint8_t>(rng.range(0, 255));

    Logbook log(rng);
    const int n = std::max(0, o.dives);
    const size_t kinds = T1Markers.size() + T1Ignored.size();
    const size_t perDive = std::clamp<size_t>((kinds + n - 1) / std::max(1, n), 2, kinds);
    uint32_t maxFt = 0, time = 0;
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> stream;
        uint8_t o2raw = 0;
        MeantDive d = makeDive1(rng, log, static_cast<uint32_t>(i),
                                static_cast<size_t>(i) * perDive, perDive, stream, o2raw);
        maxFt = std::max<uint32_t>(maxFt, d.maxDepth);
        time += d.diveTime;
        img.diveStreams.push_back(std::move(stream));
        mc.dives.push_back(std::move(d));
    }
    if (n > 0 && (o.noDiveMarker || o.truncatedProfile)) {
        const size_t idx = o.brokenDive < 0
                               ? static_cast<size_t>(n) / 2
                               : std::min<size_t>(static_cast<size_t>(o.brokenDive), n - 1u);
        MeantDive& d = mc.dives[idx];
        auto& s = img.diveStreams[idx];
        if (o.truncatedProfile) {
            // The dive ended abruptly: the last third of its samples is missing.
            const size_t keep = d.t1Items.size() * 2 / 3;
            size_t bytes = 0;
            for (size_t i = 0; i < keep; ++i)
                bytes += d.t1Items[i].kind == MeantT1Item::GasSwitch ? 2 : 1;
            const size_t cut = d.profile.size() - bytes;
            d.t1Items.resize(keep);
            d.profile.resize(bytes);
            s.erase(s.begin() + 7, s.begin() + 7 + static_cast<std::ptrdiff_t>(cut));
            d.truncated = true;
        }
        if (o.noDiveMarker) {
            // Without its marker the host reads on into the bytes before it;
            // none of them may pass for a marker either.
            s.erase(s.begin() + 6);
            for (size_t i = 0; i < 6; ++i)
                if (s[i] == 0x80 || s[i] == 0x86) s[i] = 0x11;
            d.noDiveMarker = true;
        }
    }
    const size_t gone = dropOverwrittenStreams(img);
    mc.dives.erase(mc.dives.begin(), mc.dives.begin() + static_cast<std::ptrdiff_t>(gone));
    mc.overwritten = static_cast<uint32_t>(gone);
    mc.maxDepth = static_cast<uint16_t>(std::min<uint32_t>(maxFt * 128, 0xFFFF));
    mc.totalDiveTime = static_cast<uint16_t>(time);
    mc.totalDives = static_cast<uint16_t>(n);
    mc.sampleInterval = n ? mc.dives.back().sampleInterval : 20;
    mc.personalAltitudeByte = static_cast<uint8_t>(rng.range(0, 8) | (rng.chance(50) ? 0x10 : 0));
    mc.timeFormat24h = rng.chance(70) ? 1 : 0;
    mc.diveModeByte = static_cast<uint8_t>(rng.range(0, 2));
    mc.backlight = static_cast<uint8_t>(rng.range(0, 15));
    mc.alarmBits = static_cast<uint8_t>(rng.range(0, 3));
    mc.timeAlarm = static_cast<uint16_t>(rng.range(20, 90));
    mc.depthAlarm = static_cast<uint16_t>(rng.range(60, 160) * 128);
    mc.freeDiveMaxDepth = rng.chance(30) ? static_cast<uint16_t>(rng.range(10, 60) * 128) : 0;
    mc.freeDiveTime = mc.freeDiveMaxDepth ? static_cast<uint16_t>(rng.range(30, 200)) : 0;

    auto& m = img.memory;
    putBE(m, 0x1E, mc.maxDepth);
    putBE(m, 0x20, mc.totalDiveTime);
    putBE(m, 0x22, mc.totalDives);
    m[0x24] = mc.model;
    m[0x25] = mc.firmware[0];
    std::copy(std::begin(mc.serial), std::end(mc.serial), m.begin() + 0x26);
    std::fill(m.begin() + 0x2C, m.begin() + 0x4C, 0);
    std::copy_n(mc.personalText.begin(), std::min<size_t>(mc.personalText.size(), 28),
                m.begin() + 0x2C);
    mc.personalText.resize(std::min<size_t>(mc.personalText.size(), 28));
    m[0x53] = mc.sampleInterval;
    m[0x54] = mc.personalAltitudeByte;
    putBE(m, 0x5C, mc.freeDiveMaxDepth);
    putBE(m, 0x5E, mc.freeDiveTime);
    m[0x61] = mc.timeFormat24h;
    m[0x62] = mc.metric ? 1 : 0;
    m[0x63] = mc.diveModeByte;
    m[0x64] = mc.backlight;
    m[0x65] = mc.alarmBits;
    putBE(m, 0x66, mc.timeAlarm);
    putBE(m, 0x68, mc.depthAlarm);
}

// The damaged ring of BuildOptions::overlappingDives.
void overlapDives(int count, BuiltComputer& out) {
    if (out.image.type == InterfaceType::Type1)
        throw std::invalid_argument("dive builder: type 1 computers have no dive ring");
    constexpr uint32_t start = 0x1000;
    const uint32_t end = start + 4u * static_cast<uint32_t>(count);
    // Room for the last header's 84 bytes below the ring top.
    if (end + 84 > ringTop(out.image.type))
        throw std::invalid_argument("dive builder: too many overlapping dives");
    std::vector<uint8_t>& m = out.image.memory;
    for (uint32_t a = start; a < end + 84; a += 4) {
        putLE(m, a, 0x0180);
        putLE(m, a + 2, static_cast<uint16_t>(a + 4));
    }
    putLE(m, 0x190, static_cast<uint16_t>(end - 4));
    putLE(m, 0x192, static_cast<uint16_t>(count));
    putLE(m, 0x194, static_cast<uint16_t>(end));
    putLE(m, 0x196, static_cast<uint16_t>(start));
    MeantComputer& mc = out.meant;
    mc.newestHeader = static_cast<uint16_t>(end - 4);
    mc.diveCount = static_cast<uint16_t>(count);
    mc.endPointer = static_cast<uint16_t>(end);
    mc.startPointer = static_cast<uint16_t>(start);
    mc.ringBytesUsed = end - start;
    mc.dives.clear();
}

}  // namespace

namespace {

uint16_t getLE(const std::vector<uint8_t>& v, size_t at) {
    return static_cast<uint16_t>(v[at] | (v[at + 1] << 8));
}

uint16_t getBE(const std::vector<uint8_t>& v, size_t at) {
    return static_cast<uint16_t>((v[at] << 8) | v[at + 1]);
}

// The dive ring of a type 2/3 memory as the computer sees it.
struct Ring {
    std::vector<uint8_t>& mem;
    uint32_t top;

    uint32_t wrap(uint32_t a) const { return a >= top ? a - top + RingStart : a; }
    uint8_t at(uint32_t a) const { return mem[wrap(a)]; }
    uint16_t word(uint32_t a) const { return static_cast<uint16_t>(at(a) | (at(a + 1) << 8)); }
    uint32_t distance(uint32_t from, uint32_t to) const {
        return from <= to ? to - from : (top - from) + (to - RingStart);
    }
};

std::vector<MeantDive> addDives23(ComputerImage& image, int count, uint32_t seed) {
    Ring ring{image.memory, ringTop(image.type)};
    auto& m = image.memory;
    const uint32_t ringSize = ring.top - RingStart;
    uint32_t newest = getLE(m, 0x190), dives = getLE(m, 0x192);
    uint32_t end = getLE(m, 0x194), start = getLE(m, 0x196);
    uint32_t maxDepth = getLE(m, 0x186), time = getLE(m, 0x188), total = getLE(m, 0x18A);
    if (end < RingStart || end >= ring.top || (dives && (start < RingStart || start >= ring.top)))
        throw std::invalid_argument("add dives: the memory map is not that of a dive ring");

    Rng rng(seed * 7919u + total);
    Logbook log(rng);
    if (dives) {
        const int64_t day =
            daysFromCivil(ring.word(newest + 24), ring.at(newest + 26), ring.at(newest + 27));
        const int64_t begin = day * 1440 + ring.at(newest + 21) * 60 + ring.at(newest + 22);
        log.resumeAfter(begin, begin + ring.word(newest + 15));
    } else {
        start = end;
    }
    const auto plan = eventPlan();
    const uint32_t sizeOffset = static_cast<uint32_t>(rng.range(0, 10));
    uint32_t used = dives ? ring.distance(start, end) : 0;
    std::vector<MeantDive> added;
    for (int i = 0; i < count; ++i) {
        const uint32_t seq = total;
        Dive23 dv = makeDive23(rng, log, seq, sizeOffset, seq * 2, 2, plan, false);
        MeantDive& d = dv.meant;
        const uint32_t len = d.headerSize + static_cast<uint32_t>(d.profile.size());
        // The ring gives up its oldest dives until the new one fits.
        while (dives && used + len >= ringSize) {
            const uint32_t next = ring.word(start + 2);
            used -= ring.distance(start, next);
            start = next;
            --dives;
        }
        d.headerAddress = end;
        d.olderLink = dives ? newest : 0;
        d.newerLink = ring.wrap(end + len);
        putLE(dv.header, 0, static_cast<uint16_t>(d.olderLink));
        putLE(dv.header, 2, static_cast<uint16_t>(d.newerLink));
        std::vector<uint8_t> all(dv.header);
        all.insert(all.end(), d.profile.begin(), d.profile.end());
        writeRing(m, end, all, ring.top);
        if (!dives) start = end;
        newest = end;
        end = d.newerLink;
        ++dives;
        used += len;
        maxDepth = std::max<uint32_t>(maxDepth, d.maxDepth);
        time = std::min<uint32_t>(time + d.diveTime, 0xFFFF);
        ++total;
        added.push_back(d);
    }
    putLE(m, 0x186, static_cast<uint16_t>(maxDepth));
    putLE(m, 0x188, static_cast<uint16_t>(time));
    putLE(m, 0x18A, static_cast<uint16_t>(total));
    putLE(m, 0x190, static_cast<uint16_t>(newest));
    putLE(m, 0x192, static_cast<uint16_t>(dives));
    putLE(m, 0x194, static_cast<uint16_t>(end));
    putLE(m, 0x196, static_cast<uint16_t>(start));
    return added;
}

std::vector<MeantDive> addDives1(ComputerImage& image, int count, uint32_t seed) {
    auto& m = image.memory;
    uint32_t maxDepth = getBE(m, 0x1E), time = getBE(m, 0x20), total = getBE(m, 0x22);
    Rng rng(seed * 7919u + total);
    Logbook log(rng);
    if (!image.diveStreams.empty() && image.diveStreams.back().size() >= 21) {
        // A stream ends with minute, hour, day, month, year and nine more bytes.
        const auto& s = image.diveStreams.back();
        const size_t t = s.size() - 14;
        const int64_t begin =
            daysFromCivil(2000 + s[t + 4], s[t + 3], s[t + 2]) * 1440 + s[t + 1] * 60 + s[t];
        log.resumeAfter(begin, begin + 60);
    }
    const size_t kinds = T1Markers.size() + T1Ignored.size();
    std::vector<MeantDive> added;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> stream;
        uint8_t o2raw = 0;
        MeantDive d = makeDive1(rng, log, total, (total * 2) % kinds, 2, stream, o2raw);
        image.diveStreams.push_back(std::move(stream));
        maxDepth = std::min<uint32_t>(std::max<uint32_t>(maxDepth, d.maxDepth * 128u), 0xFFFF);
        time = std::min<uint32_t>(time + d.diveTime, 0xFFFF);
        ++total;
        m[0x53] = d.sampleInterval;
        added.push_back(std::move(d));
    }
    // Of a long trip, only what the memory still holds is streamed.
    const size_t older = image.diveStreams.size() - added.size();
    const size_t gone = dropOverwrittenStreams(image);
    if (gone > older)
        added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(gone - older));
    putBE(m, 0x1E, static_cast<uint16_t>(maxDepth));
    putBE(m, 0x20, static_cast<uint16_t>(time));
    putBE(m, 0x22, static_cast<uint16_t>(total));
    return added;
}

// The simulated computers, one row per interface type: how a memory of the
// type is built from a seed and how the computer dives on.
struct SimulatedType {
    InterfaceType type;
    // Type 1 streams its dives and has no dive ring.
    bool streamsDives;
    void (*build)(const BuildOptions& options, Rng& rng, BuiltComputer& out);
    std::vector<MeantDive> (*addDives)(ComputerImage& image, int count, uint32_t seed);
};

const SimulatedType SimulatedTypes[] = {
    {InterfaceType::Type1, true, build1, addDives1},
    {InterfaceType::Type2, false, build23, addDives23},
    {InterfaceType::Type3, false, build23, addDives23},
};

const SimulatedType& simulated(InterfaceType type, const char* who) {
    for (const SimulatedType& t : SimulatedTypes)
        if (t.type == type) return t;
    throw std::invalid_argument(std::string(who) + ": no simulated computer of interface type " +
                                std::to_string(static_cast<int>(type)));
}

}  // namespace

std::vector<MeantDive> addDives(ComputerImage& image, int count, uint32_t seed) {
    if (count < 0) throw std::invalid_argument("add dives: negative dive count");
    const SimulatedType& t = simulated(image.type, "add dives");
    if (image.memory.size() != memorySize(image.type))
        throw std::invalid_argument("add dives: memory size does not fit the interface type");
    return t.addDives(image, count, seed);
}

BuiltComputer buildComputer(const BuildOptions& options) {
    if (options.dives < 0) throw std::invalid_argument("dive builder: negative dive count");
    const SimulatedType& t = simulated(options.type, "dive builder");
    if (t.streamsDives &&
        (options.fill || options.wrap || options.headerAcrossTop || options.noEndMarker))
        throw std::invalid_argument("dive builder: type 1 computers have no dive ring");
    if (!t.streamsDives && options.noDiveMarker)
        throw std::invalid_argument("dive builder: only type 1 dives carry a 0x80 marker");
    Rng rng(options.seed);
    BuiltComputer out;
    t.build(options, rng, out);
    if (options.overlappingDives > 0) overlapDives(options.overlappingDives, out);
    return out;
}

void fillDiveData(const MeantDive& d, InterfaceType type, DiveRecord& r) {
    r.setProfile(d.profile.data(), static_cast<uint32_t>(d.profile.size()));
    r.surfaceIntervalMinutes = d.surfaceIntervalMinutes;
    r.surfaceIntervalHours = d.surfaceIntervalHours;
    r.diveNumber = d.diveNumber;
    r.sampleInterval = d.sampleInterval;
    r.personalAltitude = d.personalAltitude;
    r.oxygen1 = d.oxygen1;
    r.oxygenFraction = d.oxygenFraction;
    r.year = d.year;
    r.month = d.month;
    r.day = d.day;
    r.hour = d.hour;
    r.minute = d.minute;
    r.cnsOtu = d.cnsOtu;
    r.diveMode = d.diveMode;
    if (simulated(type, "dive record").streamsDives) {
        r.startCylinderPressure = d.startCylinderPressure;
        r.endCylinderPressure = d.endCylinderPressure;
        r.startTemperature = d.startTemperature;
        r.maxDepthTemperature = d.maxDepthTemperature;
        r.endTemperature = d.endTemperature;
        return;
    }
    for (int i = 0; i < 9; ++i) r.tissue[i] = d.tissue[i];
    r.oxygen2 = d.oxygen2;
    r.oxygen3 = d.oxygen3;
    r.second = d.second;
    r.temperatureInterval = d.temperatureInterval;
    r.rgbm = d.rgbm;
    r.diveTime = d.diveTime;
    r.maxDepth = d.maxDepth;
    r.firstEventBlock = d.firstEventBlock;
    r.pressureSamples = d.pressureSamples;
}

}  // namespace sim

}  // namespace talvek
