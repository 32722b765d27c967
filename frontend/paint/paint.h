#pragma once
// What the transfer window paints, apart from any GUI system: the colours of
// the diamond gradient and of the gauge, and the gauge's figures.  The Qt and
// the Win32 windows both draw from here.
#include <algorithm>
#include <cmath>

namespace talvek {

namespace paint {

struct Rgb {
    int red, green, blue;
};

constexpr Rgb White{0xFF, 0xFF, 0xFF};
constexpr Rgb SkyBlue{0xA6, 0xCA, 0xF0};  // the gradient's second colour
constexpr Rgb Cream{0xFF, 0xFB, 0xF0};    // the gauge's background
constexpr Rgb Navy{0x00, 0x00, 0x80};     // the gauge's bar
constexpr int GradientShift = -22;

// Colour of pixel (x, y) of a w x h diamond gradient from `begin` (centre)
// to `end` (corners).  The shift (-100..100) moves the blend's midpoint.
inline Rgb diamondColor(int x, int y, int w, int h, Rgb begin, Rgb end, int shift) {
    // Diamond distance: 0 at the centre, 1 on the lines joining the middles
    // of the edges and beyond.
    const double cx = w / 2.0, cy = h / 2.0;
    const double d =
        (cx > 0 ? std::fabs(x + 0.5 - cx) / cx : 0) + (cy > 0 ? std::fabs(y + 0.5 - cy) / cy : 0);
    double t = std::clamp(d, 0.0, 1.0);
    const double mid = std::clamp(0.5 - std::clamp(shift, -100, 100) / 200.0, 0.01, 0.99);
    t = std::pow(t, std::log(0.5) / std::log(mid));
    auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
    return Rgb{mix(begin.red, end.red), mix(begin.green, end.green), mix(begin.blue, end.blue)};
}

// The gauge's rounded percentage of `value` in [minValue, maxValue].
inline int gaugePercent(int value, int minValue, int maxValue) {
    if (maxValue <= minValue) return 0;
    return static_cast<int>(std::lround(100.0 * (value - minValue) / (maxValue - minValue)));
}

// Width of the bar inside a gauge of `width` pixels.
inline int gaugeFill(int width, int value, int minValue, int maxValue) {
    if (maxValue <= minValue) return 0;
    return width * (std::clamp(value, minValue, maxValue) - minValue) / (maxValue - minValue);
}

}  // namespace paint

}  // namespace talvek
