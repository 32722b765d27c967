#include "output/report/profile_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "xml/xml_document.h"

namespace talvek {

namespace {

// The drawing: a 760 x 300 box with the plot area inside it, room for the
// time axis below, the depth axis on the left and the temperature axis on
// the right.
constexpr double Width = 760;
constexpr double Height = 300;
constexpr double Left = 64;
constexpr double Right = 700;
constexpr double Top = 16;
constexpr double Bottom = 250;

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string& out, const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) out.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

void appendEscaped(std::string& out, const std::string& text) {
    escapeXml(text, out);
}

// Maps plot values to drawing coordinates.
struct Scale {
    double from;   // value at `at`
    double at;     // coordinate of `from`
    double slope;  // coordinate units per value unit
    double operator()(double v) const { return at + (v - from) * slope; }
};

// The depth (in the plot's units) at `time`, on the straight line between
// the points around it.
double depthAt(const std::vector<PlotPoint>& points, double time) {
    if (time <= points.front().time) return points.front().value;
    for (size_t i = 1; i < points.size(); ++i) {
        const PlotPoint& a = points[i - 1];
        const PlotPoint& b = points[i];
        if (time <= b.time) {
            if (b.time <= a.time) return b.value;
            return a.value + (b.value - a.value) * (time - a.time) / (b.time - a.time);
        }
    }
    return points.back().value;
}

void appendPath(std::string& out, const char* cssClass, const std::vector<PlotPoint>& points,
                const Scale& x, const Scale& y) {
    appendf(out, "<path class=\"%s\" d=\"", cssClass);
    char command = 'M';
    for (const PlotPoint& p : points) {
        appendf(out, "%c%.1f,%.1f", command, x(p.time / 60), y(p.value));
        command = 'L';
    }
    out += "\"/>\n";
}

}  // namespace

std::vector<double> PlotAxis::ticks() const {
    std::vector<double> values;
    const long steps = std::lround((max - min) / step);
    for (long i = 0; i <= steps; ++i) values.push_back(min + static_cast<double>(i) * step);
    return values;
}

std::string PlotAxis::label(double value) const {
    // A value within rounding of zero is written "0", never "-0".
    if (std::fabs(value) < step / 2) value = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

PlotAxis roundAxis(double low, double high, int intervals) {
    if (!(high > low)) high = low + 1;
    const double raw = (high - low) / std::max(intervals, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    PlotAxis axis;
    axis.step = 10 * magnitude;
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw * (1 - 1e-9)) {
            axis.step = m * magnitude;
            break;
        }
    }
    // A hair of tolerance keeps a value that is a whole multiple of the step
    // from growing an extra step through rounding.
    axis.min = std::floor(low / axis.step + 1e-9) * axis.step;
    axis.max = std::ceil(high / axis.step - 1e-9) * axis.step;
    if (axis.max <= axis.min) axis.max = axis.min + axis.step;
    axis.decimals = axis.step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(axis.step) - 1e-9));
    return axis;
}

std::string minutesAndSeconds(double seconds) {
    const long total = std::lround(std::max(seconds, 0.0));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string profileSvg(const PlotData& data, const std::string& label) {
    std::string out;
    out.reserve(4096 + 16 * (data.depth.size() + data.temperature.size()));

    // The axes hold every point and mark, even of a profile that claims to
    // rise above the surface or an event recorded after the last sample.
    double endTime = 0;
    double deepest = 0;
    double shallowest = 0;
    size_t deepestAt = 0;
    for (size_t i = 0; i < data.depth.size(); ++i) {
        endTime = std::max(endTime, data.depth[i].time);
        shallowest = std::min(shallowest, data.depth[i].value);
        if (data.depth[i].value > deepest) {
            deepest = data.depth[i].value;
            deepestAt = i;
        }
    }
    for (const PlotMarker& m : data.markers) endTime = std::max(endTime, m.time);
    const PlotAxis time = roundAxis(0, endTime / 60, 8);
    const PlotAxis depth = roundAxis(shallowest, deepest, 6);
    const Scale x{time.min, Left, (Right - Left) / (time.max - time.min)};
    const Scale y{depth.min, Top, (Bottom - Top) / (depth.max - depth.min)};

    appendf(out,
            "<svg class=\"profile\" viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" height=\"%.0f\" "
            "role=\"img\" aria-label=\"",
            Width, Height, Width, Height);
    appendEscaped(out, label);
    out += "\">\n";
    appendf(out, "<rect class=\"bg\" x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\"/>\n",
            Left, Top, Right - Left, Bottom - Top);

    // Time axis (minutes): grid lines and labels below the plot.
    out += "<g class=\"axis\">\n";
    for (double t : time.ticks()) {
        const double at = x(t);
        appendf(out, "<line class=\"grid\" x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\"/>", at,
                Top, at, Bottom);
        appendf(out, "<text class=\"tx\" x=\"%.1f\" y=\"%.0f\">%s</text>\n", at, Bottom + 16,
                time.label(t).c_str());
    }
    appendf(out, "<text class=\"title\" x=\"%.0f\" y=\"%.0f\">Time (min)</text>\n",
            (Left + Right) / 2, Bottom + 38);

    // Depth axis: zero at the top, deeper further down.
    for (double d : depth.ticks()) {
        const double at = y(d);
        appendf(out, "<line class=\"grid\" x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>", Left,
                at, Right, at);
        appendf(out, "<text class=\"ty\" x=\"%.0f\" y=\"%.1f\">%s</text>\n", Left - 6, at,
                depth.label(d).c_str());
    }
    appendf(out, "<text class=\"title\" transform=\"translate(16 %.0f) rotate(-90)\">Depth (",
            (Top + Bottom) / 2);
    appendEscaped(out, data.depthUnit);
    out += ")</text>\n";

    // Temperature axis, on the right, warmer upwards.
    Scale temperatureY{0, Bottom, 0};
    if (!data.temperature.empty()) {
        auto [lowest, highest] = std::minmax_element(
            data.temperature.begin(), data.temperature.end(),
            [](const PlotPoint& a, const PlotPoint& b) { return a.value < b.value; });
        double low = lowest->value;
        double high = highest->value;
        if (high - low < 2) {  // a steady temperature still gets a readable scale
            low -= 1;
            high += 1;
        }
        const PlotAxis temperature = roundAxis(low, high, 4);
        temperatureY =
            Scale{temperature.min, Bottom, -(Bottom - Top) / (temperature.max - temperature.min)};
        for (double t : temperature.ticks())
            appendf(out, "<text class=\"tt\" x=\"%.0f\" y=\"%.1f\">%s</text>\n", Right + 6,
                    temperatureY(t), temperature.label(t).c_str());
        appendf(out,
                "<text class=\"title temp-title\" transform=\"translate(%.0f %.0f) rotate(90)\">"
                "Temperature (",
                Width - 12, (Top + Bottom) / 2);
        appendEscaped(out, data.temperatureUnit);
        out += ")</text>\n";
    }
    out += "</g>\n";

    if (!data.temperature.empty()) appendPath(out, "temp", data.temperature, x, temperatureY);
    appendPath(out, "depth", data.depth, x, y);

    for (const PlotMarker& m : data.markers) {
        const double mx = x(m.time / 60);
        const double my = y(depthAt(data.depth, m.time));
        if (m.kind == PlotMarker::Kind::GasSwitch) {
            out += "<g class=\"gas\"><title>";
            appendEscaped(out, m.title);
            appendf(out, "</title><path d=\"M%.1f,%.1fl6,6l-6,6l-6,-6z\"/></g>\n", mx, my - 6);
        } else {
            out += "<g class=\"ev\"><title>";
            appendEscaped(out, m.title);
            appendf(out, "</title><circle cx=\"%.1f\" cy=\"%.1f\" r=\"4.5\"/></g>\n", mx, my);
        }
    }

    if (deepest > 0) {
        const PlotPoint& p = data.depth[deepestAt];
        char value[48];
        std::snprintf(value, sizeof value, "%.1f ", p.value);
        const std::string text = value + data.depthUnit;
        const double mx = x(p.time / 60);
        const double my = y(p.value);
        out += "<g class=\"max\"><title>Maximum depth ";
        appendEscaped(out, text);
        appendf(out, " at %s</title>", minutesAndSeconds(p.time).c_str());
        appendf(out, "<path d=\"M%.1f,%.1fl-6,10h12z\"/>", mx, my + 3);
        // Beside the mark, on whichever side has room.
        const bool leftOfMark = mx > Right - 90;
        appendf(out, "<text x=\"%.1f\" y=\"%.1f\"%s>", leftOfMark ? mx - 10 : mx + 10,
                std::min(my + 4, Bottom - 4), leftOfMark ? " class=\"end\"" : "");
        appendEscaped(out, text);
        out += "</text></g>\n";
    }
    out += "</svg>\n";
    return out;
}

}  // namespace talvek
