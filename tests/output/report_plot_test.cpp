// The report's plots carry the dive's numbers: every point of the depth and
// temperature lines, and every mark, stands where the page's own axis labels
// say that value belongs.  The expected values are worked out here from the
// samples put into the dive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "output/report/html_report.h"
#include "output/report/profile_plot.h"
#include "output/units_converter.h"
#include "support/profile_bytes.h"
#include "support/report_reading.h"
#include "support/writer_inputs.h"

namespace talvek {

namespace {

using namespace report_test;

// Rounding of the written coordinates (0.05) and of the ticks the axis line
// is taken from.
constexpr double Tolerance = 0.15;

struct Sample {
    uint32_t time;        // s
    uint16_t depth;       // cm
    bool hasTemperature;  // every second sample
    int8_t temperature;   // degrees Celsius
};

// Eleven samples 20 s apart, a temperature on every second one; after the
// third sample a block with a deco event 5 s later and a switch to 50 % O2.
class KnownDive {
  public:
    KnownDive() {
        const uint16_t depths[] = {150, 620, 1234, 1810, 2075, 1990, 1500, 900, 480, 300, 40};
        const int8_t temperatures[] = {24, 22, 19, -3, 19, 21};
        ProfileBytes p;
        for (uint32_t k = 0; k < 11; ++k) {
            if (k == 3) p.raw({3, 3, 5}).raw({5, 50, 0}).endBlock(0xFFFF);
            const bool t = k % 2 == 0;
            samples.push_back({k * 20, depths[k], t, t ? temperatures[k / 2] : int8_t{0}});
            p.word(depths[k]);
            if (t) p.byte(static_cast<uint8_t>(temperatures[k / 2]));
        }
        // The decoder reads a sample only when four bytes (five with a
        // temperature) remain, as if a pressure word always followed.
        p.word(0);
        auto d = decodedDive(p, 20, 2, 3);
        d->diveMode = 1;
        d->oxygen1 = 32;
        d->maxDepth = 2075;
        d->diveTime = 4;
        set.family = DataFamily::Family2;
        set.dives.push_back(d);
    }

    Plot plot(UnitSystem units) const {
        page = htmlReport(set, units, stampAt(2024, 5, 6, 12, 0, 0));
        return readPlot(diveSection(page, 1));
    }

    std::vector<Sample> samples;
    DiveSet set;
    // The closing surface point, where the XML puts it: the read that found
    // the end of the profile took one more time step.
    const uint32_t end = 240;
    mutable std::string page;
};

// Ticks at round values, evenly spaced, on a straight line.
void expectRoundTicks(const std::vector<Tick>& ticks, const char* axis) {
    SCOPED_TRACE(axis);
    ASSERT_GE(ticks.size(), 2u);
    const double step = ticks[1].value() - ticks[0].value();
    ASSERT_GT(step, 0);
    const double magnitude = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double leading = step / magnitude;
    EXPECT_TRUE(std::fabs(leading - 1) < 1e-6 || std::fabs(leading - 2) < 1e-6 ||
                std::fabs(leading - 5) < 1e-6)
        << "step " << step;
    const AxisLine line = axisLine(ticks);
    for (size_t i = 0; i < ticks.size(); ++i) {
        const double v = ticks[i].value();
        EXPECT_NEAR(v, ticks[0].value() + static_cast<double>(i) * step, step * 1e-6);
        EXPECT_NEAR(std::remainder(v, step), 0, step * 1e-6) << "tick " << ticks[i].label;
        EXPECT_NEAR(ticks[i].at, line.at(v), 0.1);
    }
}

struct UnitCase {
    const char* name;
    UnitSystem system;
    double (*depth)(uint16_t centimetres);
    double (*temperature)(int celsius);
};

const UnitCase Units[] = {
    {"Metric", UnitSystem::Metric, [](uint16_t cm) { return cm / 100.0; },
     [](int c) { return 1.0 * c; }},
    {"Imperial", UnitSystem::Imperial, [](uint16_t cm) { return cm / 30.48; },
     [](int c) { return std::trunc(c * 1.8 + 32); }},
    {"Scientific", UnitSystem::Scientific, [](uint16_t cm) { return cm / 100.0; },
     [](int c) { return c + 273.0; }},
};

class PlotNumbers : public ::testing::TestWithParam<UnitCase> {};

TEST_P(PlotNumbers, EveryPointStandsWhereTheAxisLabelsPutItsSample) {
    const UnitCase& u = GetParam();
    KnownDive dive;
    const Plot plot = dive.plot(u.system);

    expectRoundTicks(plot.time, "time");
    expectRoundTicks(plot.depthTicks, "depth");
    expectRoundTicks(plot.temperatureTicks, "temperature");
    const AxisLine x = axisLine(plot.time);
    const AxisLine y = axisLine(plot.depthTicks);
    const AxisLine t = axisLine(plot.temperatureTicks);

    // Time from 0 at the left edge; depth from 0 at the top, deeper lower
    // down; temperature warmer upwards.
    EXPECT_EQ(plot.time.front().value(), 0);
    EXPECT_NEAR(plot.time.front().at, plot.bgOrigin.x, 0.05);
    EXPECT_EQ(plot.depthTicks.front().value(), 0);
    EXPECT_NEAR(plot.depthTicks.front().at, plot.bgOrigin.y, 0.05);
    EXPECT_GT(y.slope, 0);
    EXPECT_LT(t.slope, 0);
    // The axes span the plot's box, and reach past the dive.
    EXPECT_NEAR(plot.time.back().at, plot.bgOrigin.x + plot.bgSize.x, 0.05);
    EXPECT_NEAR(plot.depthTicks.back().at, plot.bgOrigin.y + plot.bgSize.y, 0.05);
    EXPECT_GE(plot.time.back().value(), dive.end / 60.0);
    EXPECT_GE(plot.depthTicks.back().value(), u.depth(2075));

    // The surface, every sample, the surface again.
    ASSERT_EQ(plot.depth.size(), dive.samples.size() + 2);
    EXPECT_NEAR(plot.depth.front().x, x.at(0), Tolerance);
    EXPECT_NEAR(plot.depth.front().y, y.at(0), Tolerance);
    for (size_t i = 0; i < dive.samples.size(); ++i) {
        const Sample& s = dive.samples[i];
        SCOPED_TRACE("sample " + std::to_string(i));
        EXPECT_NEAR(plot.depth[i + 1].x, x.at(s.time / 60.0), Tolerance);
        EXPECT_NEAR(plot.depth[i + 1].y, y.at(u.depth(s.depth)), Tolerance);
    }
    EXPECT_NEAR(plot.depth.back().x, x.at(dive.end / 60.0), Tolerance);
    EXPECT_NEAR(plot.depth.back().y, y.at(0), Tolerance);

    std::vector<Sample> warm;
    for (const Sample& s : dive.samples)
        if (s.hasTemperature) warm.push_back(s);
    ASSERT_EQ(plot.temperature.size(), warm.size());
    for (size_t i = 0; i < warm.size(); ++i) {
        SCOPED_TRACE("temperature " + std::to_string(i));
        EXPECT_NEAR(plot.temperature[i].x, x.at(warm[i].time / 60.0), Tolerance);
        EXPECT_NEAR(plot.temperature[i].y, t.at(u.temperature(warm[i].temperature)), Tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryUnitSystem, PlotNumbers, ::testing::ValuesIn(Units),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlotMarks, EventsSwitchesAndTheMaximumDepthSitOnTheProfileWithTheirNames) {
    KnownDive dive;
    const Plot plot = dive.plot(UnitSystem::Metric);
    const AxisLine x = axisLine(plot.time);
    const AxisLine y = axisLine(plot.depthTicks);
    ASSERT_EQ(plot.marks.size(), 3u);

    // The block follows the sample at 40 s (12.34 m); the next is at 60 s
    // (18.10 m).  The deco event is 5 s after it, the switch at it.
    const Mark& deco = plot.marks[0];
    EXPECT_EQ(deco.kind, "ev");
    EXPECT_EQ(deco.title, "deco at 0:45");
    EXPECT_NEAR(deco.at.x, x.at(45 / 60.0), Tolerance);
    EXPECT_NEAR(deco.at.y, y.at(12.34 + (18.10 - 12.34) * 5 / 20), Tolerance);

    const Mark& gas = plot.marks[1];
    EXPECT_EQ(gas.kind, "gas");
    EXPECT_EQ(gas.title, "Gas switch to gas2 (50% O2) at 0:40");
    EXPECT_NEAR(gas.at.x, x.at(40 / 60.0), Tolerance);
    EXPECT_NEAR(gas.at.y + 6, y.at(12.34), Tolerance);  // the diamond's top is 6 above

    const Mark& deepest = plot.marks[2];
    EXPECT_EQ(deepest.kind, "max");
    EXPECT_EQ(deepest.title, "Maximum depth 20.8 m at 1:20");
    EXPECT_NEAR(deepest.at.x, x.at(80 / 60.0), Tolerance);
    EXPECT_NEAR(deepest.at.y - 3, y.at(20.75), Tolerance);  // the tip is 3 below
}

TEST(PlotNumbers, Family1DepthChangesAreFeetOneIntervalApart) {
    // 10, 20, 25 ft; a deco marker; back to 20 ft; a switch to 32 % O2; 10
    // and 0 ft.  A sample every 30 s.
    DiveSet set;
    set.family = DataFamily::Family1;
    set.dives.push_back(family1Dive({10, 10, 5, 126, 0xFB, 135, 32, 0xF6, 0xF6}, 30));
    const std::string page = htmlReport(set, UnitSystem::Metric, stampAt(2024, 1, 1, 0, 0, 0));
    const Plot plot = readPlot(diveSection(page, 1));
    const AxisLine x = axisLine(plot.time);
    const AxisLine y = axisLine(plot.depthTicks);

    const std::pair<int, int> expected[] = {{0, 0},    {30, 10},  {60, 20}, {90, 25},
                                            {120, 20}, {150, 10}, {180, 0}, {210, 0}};
    ASSERT_EQ(plot.depth.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE("point " + std::to_string(i));
        EXPECT_NEAR(plot.depth[i].x, x.at(expected[i].first / 60.0), Tolerance);
        EXPECT_NEAR(plot.depth[i].y, y.at(expected[i].second * 0.3048), Tolerance);
    }
    EXPECT_TRUE(plot.temperature.empty());  // type 1 records no timed temperatures
    EXPECT_TRUE(plot.temperatureTicks.empty());

    ASSERT_EQ(plot.marks.size(), 3u);
    EXPECT_EQ(plot.marks[0].title, "deco at 1:30");
    EXPECT_NEAR(plot.marks[0].at.x, x.at(1.5), Tolerance);
    EXPECT_NEAR(plot.marks[0].at.y, y.at(25 * 0.3048), Tolerance);
    // The air dive's list has "Air"; the new mix is the second.
    EXPECT_EQ(plot.marks[1].title, "Gas switch to gas2 (32% O2) at 2:00");
    EXPECT_EQ(plot.marks[2].title, "Maximum depth 7.6 m at 1:30");
}

TEST(PlotNumbers, PointsAndMarksOutsideTheUsualRangeStayInTheBox) {
    // A type 1 profile that starts by rising 10 ft "above" the surface, and a
    // type 2 event block after the last sample whose offset points past the
    // end of the dive.
    DiveSet rising;
    rising.family = DataFamily::Family1;
    rising.dives.push_back(family1Dive({0xF6, 30, 126}, 20));
    ProfileBytes p;
    p.word(500).byte(20).raw({3, 3, 200}).endBlock(0xFFFF);
    DiveSet late;
    late.family = DataFamily::Family2;
    late.dives.push_back(decodedDive(p, 10, 1, 1));
    for (const DiveSet* set : {&rising, &late}) {
        const std::string page = htmlReport(*set, UnitSystem::Metric, stampAt(2024, 1, 1, 0, 0, 0));
        const Plot plot = readPlot(diveSection(page, 1));
        ASSERT_FALSE(plot.depth.empty());
        ASSERT_FALSE(plot.marks.empty());
        auto inside = [&](const Point& q) {
            return q.x >= plot.bgOrigin.x - 0.05 && q.x <= plot.bgOrigin.x + plot.bgSize.x + 0.05 &&
                   q.y >= plot.bgOrigin.y - 0.05 && q.y <= plot.bgOrigin.y + plot.bgSize.y + 0.05;
        };
        for (const Point& q : plot.depth) EXPECT_TRUE(inside(q)) << q.x << "," << q.y;
        for (const Mark& m : plot.marks)
            EXPECT_TRUE(inside({m.at.x, m.kind == "ev" ? m.at.y : plot.bgOrigin.y})) << m.title;
    }
}

TEST(RoundAxis, CoversTheRangeInFewRoundSteps) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> span(-3, 4);
    for (int i = 0; i < 2000; ++i) {
        const double low = (rng() % 3 == 0) ? 0 : -std::pow(10, span(rng)) * (rng() % 2);
        const double high = low + std::pow(10, span(rng));
        const int intervals = 2 + static_cast<int>(rng() % 8);
        const PlotAxis a = roundAxis(low, high, intervals);
        SCOPED_TRACE(std::to_string(low) + " .. " + std::to_string(high));
        const double leading = a.step / std::pow(10.0, std::floor(std::log10(a.step) + 1e-9));
        EXPECT_TRUE(std::fabs(leading - 1) < 1e-6 || std::fabs(leading - 2) < 1e-6 ||
                    std::fabs(leading - 5) < 1e-6);
        EXPECT_LE(a.min, low);
        EXPECT_GE(a.max, high);
        EXPECT_NEAR(std::remainder(a.min, a.step), 0, a.step * 1e-6);
        EXPECT_NEAR(std::remainder(a.max, a.step), 0, a.step * 1e-6);
        const size_t n = a.ticks().size() - 1;
        EXPECT_GE(n, 1u);
        EXPECT_LE(n, static_cast<size_t>(intervals) + 2);
        // Labels show the step: neighbouring labels differ.
        EXPECT_NE(a.label(a.ticks()[0]), a.label(a.ticks()[1]));
    }
}

TEST(RoundAxis, EdgeValues) {
    // A whole multiple of the step gets no extra step; an empty range one unit.
    const PlotAxis ten = roundAxis(0, 10, 5);
    EXPECT_EQ(ten.step, 2);
    EXPECT_EQ(ten.max, 10);
    const PlotAxis empty = roundAxis(0, 0, 6);
    EXPECT_EQ(empty.min, 0);
    EXPECT_GE(empty.max, 1);
    // Fractions get the decimals they need, and nothing reads "-0".
    const PlotAxis small = roundAxis(-0.3, 0.4, 7);
    EXPECT_EQ(small.step, 0.1);
    EXPECT_EQ(small.label(-1e-12), "0.0");
    EXPECT_EQ(small.label(0.3), "0.3");
}

}  // namespace

}  // namespace talvek
