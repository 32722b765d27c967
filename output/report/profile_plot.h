#pragma once
// The profile plot of one dive as an inline SVG element: depth against time
// with depth increasing downwards, temperature on an axis of its own, round
// tick values on every axis, markers with tooltips for events and gas
// switches, and the maximum depth marked.  Texts are 8-bit (Latin-1), as in
// the XML layer; they are escaped here.
#include <string>
#include <vector>

namespace talvek {

// An axis from `min` to `max` in steps of `step`: the step is 1, 2 or 5 times
// a power of ten and both ends are whole multiples of it.
struct PlotAxis {
    double min = 0;
    double max = 1;
    double step = 1;
    int decimals = 0;  // what a tick label needs to show the step

    std::vector<double> ticks() const;
    std::string label(double value) const;
};

// The round axis that covers `low` to `high` in at most about `intervals`
// steps.  An empty range is widened by one unit upwards.
PlotAxis roundAxis(double low, double high, int intervals);

struct PlotPoint {
    double time = 0;   // seconds from the start of the dive
    double value = 0;  // depth or temperature in the report's units
};

struct PlotMarker {
    enum class Kind { Event, GasSwitch };
    Kind kind = Kind::Event;
    double time = 0;    // seconds
    std::string title;  // the tooltip
};

struct PlotData {
    std::vector<PlotPoint> depth;        // in time order, surface points included
    std::vector<PlotPoint> temperature;  // empty when the dive has none
    std::vector<PlotMarker> markers;
    std::string depthUnit;        // "m" or "ft"
    std::string temperatureUnit;  // e.g. "\xB0" "C"
};

// Minutes and seconds of a time in seconds, e.g. "47:05".
std::string minutesAndSeconds(double seconds);

// The <svg> element; `label` names it for assistive technology.  The plot
// needs at least one depth point.
std::string profileSvg(const PlotData& data, const std::string& label);

}  // namespace talvek
