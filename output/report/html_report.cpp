#include "output/report/html_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "output/dive_facts.h"
#include "output/dive_texts.h"
#include "output/dive_timeline.h"
#include "output/report/profile_plot.h"
#include "output/units_converter.h"
#include "xml/xml_document.h"

namespace talvek {

namespace {

// Everything is composed as 8-bit (Latin-1) text, like the XML, and turned
// into UTF-8 at the end: "\xB7" is the middle dot between facts, "\xB0" the
// degree sign.
const std::string Separator = " \xB7 ";
const char* const Degree = "\xB0";

const char* const Style = R"(<style>
body{font:14px/1.45 system-ui,-apple-system,"Segoe UI",sans-serif;margin:24px auto;max-width:1000px;padding:0 16px;color:#1d2733;background:#fff}
h1{font-size:22px;margin:0 0 10px}
h2{font-size:17px;margin:0 0 4px}
dl.device{display:grid;grid-template-columns:max-content auto;gap:2px 18px;margin:0 0 20px}
dl.device dt{font-weight:600}
dl.device dd{margin:0}
table{border-collapse:collapse;margin:0 0 8px}
th,td{padding:4px 10px;border-bottom:1px solid #d5dde6;text-align:right;white-space:nowrap}
th{background:#f3f6f9}
th.text,td.text{text-align:left;white-space:normal}
tbody tr:hover{background:#f7fafc}
p.legend{color:#4a5866;margin:0 0 16px}
p.legend svg{vertical-align:middle}
section.dive{margin:28px 0 0;break-inside:avoid}
p.facts{margin:0 0 6px;color:#4a5866}
p.none{font-style:italic;color:#6b7785}
svg.profile{display:block;width:100%;max-width:760px;height:auto}
svg .bg{fill:#eef4fb}
svg .grid{stroke:#d3dce6;stroke-width:1}
svg text{font-size:12px;fill:#1d2733}
svg .tx,svg .title{text-anchor:middle}
svg .ty{text-anchor:end;dominant-baseline:middle}
svg .tt{text-anchor:start;dominant-baseline:middle;fill:#d9480f}
svg .temp-title{fill:#d9480f}
svg .end{text-anchor:end}
svg path.depth{fill:none;stroke:#1f5fbf;stroke-width:2.5;stroke-linejoin:round}
svg path.temp{fill:none;stroke:#d9480f;stroke-width:1.5;stroke-linejoin:round}
svg .ev{fill:#7b2cbf;stroke:#fff;stroke-width:1}
svg .gas{fill:#2b8a3e;stroke:#fff;stroke-width:1}
svg .max{fill:#c92a2a}
svg .max text{fill:#c92a2a;font-weight:600}
a{color:#1f5fbf}
</style>
)";

const char* const Legend =
    "<p class=\"legend\">"
    "<svg width=\"22\" height=\"10\"><path d=\"M1,5h20\" stroke=\"#1f5fbf\" stroke-width=\"2.5\"/>"
    "</svg> depth"
    " <svg width=\"22\" height=\"10\"><path d=\"M1,5h20\" stroke=\"#d9480f\" stroke-width=\"1.5\"/>"
    "</svg> temperature"
    " <svg width=\"12\" height=\"12\"><circle cx=\"6\" cy=\"6\" r=\"4.5\" fill=\"#7b2cbf\"/></svg>"
    " event"
    " <svg width=\"14\" height=\"14\"><path d=\"M7,1l6,6l-6,6l-6,-6z\" fill=\"#2b8a3e\"/></svg>"
    " gas switch"
    " <svg width=\"14\" height=\"12\"><path d=\"M7,1l-6,10h12z\" fill=\"#c92a2a\"/></svg>"
    " maximum depth"
    " (point at a mark for its name)</p>\n";

std::string format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The report's units: depth in feet or metres (never the metric layout's
// centimetres), temperatures as the converter gives them.
class ReportUnits {
  public:
    ReportUnits(UnitSystem unitSystem, DataFamily family) {
        switch (unitSystem) {
            case UnitSystem::Metric:
                converter_ = std::make_unique<MetricUnits>(family);
                depthScale_ = 0.01;  // centimetres
                depthUnit_ = "m";
                temperatureUnit_ = std::string(Degree) + "C";
                break;
            case UnitSystem::Scientific:
                converter_ = std::make_unique<ScientificUnits>(family);
                depthUnit_ = "m";
                temperatureUnit_ = "K";
                break;
            default:
                converter_ = std::make_unique<ImperialUnits>(family);
                depthUnit_ = "ft";
                temperatureUnit_ = std::string(Degree) + "F";
                break;
        }
    }

    double depth(int32_t raw) const {
        return static_cast<double>(converter_->depth(raw)) * depthScale_;
    }
    int32_t temperature(int32_t raw) const { return converter_->temperature(raw); }
    const std::string& depthUnit() const { return depthUnit_; }
    const std::string& temperatureUnit() const { return temperatureUnit_; }

    std::string depthText(double depth) const { return format("%.1f ", depth) + depthUnit_; }
    std::string temperatureText(int32_t t) const {
        return std::to_string(t) + (temperatureUnit_ == "K" ? " " : "") + temperatureUnit_;
    }

  private:
    std::unique_ptr<UnitsConverter> converter_;
    double depthScale_ = 1;
    std::string depthUnit_;
    std::string temperatureUnit_;
};

// What the table and the dive's section show of one dive.
struct DiveView {
    int number = 0;  // place in the download, oldest 1
    ConstDivePtr record;
    DiveTimeline timeline;
    double maxDepth = 0;  // report units
    double duration = 0;  // seconds
    std::optional<int32_t> minTemperature;
    std::string gases;
    std::string mode;
};

DiveView viewOf(DataFamily family, const ConstDivePtr& record, int number,
                const ReportUnits& units) {
    const DiveRecord& d = *record;
    DiveView v;
    v.number = number;
    v.record = record;
    v.timeline = readTimeline(family, record);
    // Families 2 and 3 keep the maximum depth and the dive time in the dive's
    // header, as the XML writes them; family 1 has only its profile.
    if (family == DataFamily::Family1) {
        for (const TimelineSample& s : v.timeline.samples)
            v.maxDepth = std::max(v.maxDepth, units.depth(s.depth));
        v.duration = v.timeline.samples.empty() ? 0 : v.timeline.end;
        for (uint8_t t : {d.startTemperature, d.maxDepthTemperature, d.endTemperature}) {
            const int32_t c = units.temperature(t);
            v.minTemperature = std::min(v.minTemperature.value_or(c), c);
        }
    } else {
        v.maxDepth = units.depth(d.maxDepth);
        v.duration = d.diveTime * 60.0;
        for (const TimelineSample& s : v.timeline.samples) {
            if (!s.temperature) continue;
            const int32_t c = units.temperature(*s.temperature);
            v.minTemperature = std::min(v.minTemperature.value_or(c), c);
        }
    }
    for (const TimelineMix& mix : v.timeline.mixes) {
        if (!v.gases.empty()) v.gases += ", ";
        v.gases += mix.name;
        if (mix.o2 > 0) v.gases += " " + std::to_string(mix.o2) + "%";
    }
    v.mode = computerModeText(d.diveMode);
    return v;
}

std::string dateTime(const DiveRecord& d) {
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 2000u + d.year, unsigned{d.month},
                  unsigned{d.day}, unsigned{d.hour}, unsigned{d.minute});
    return text;
}

std::string markTitle(const TimelineMark& m) {
    std::string title;
    if (m.kind == TimelineMark::Kind::GasSwitch) {
        title = "Gas switch to " + m.name;
        if (m.o2 > 0) title += " (" + std::to_string(m.o2) + "% O2)";
    } else {
        // The DCDML names without their namespace prefix read better here.
        const std::string prefix = "talvek:";
        title =
            m.name.compare(0, prefix.size(), prefix) == 0 ? m.name.substr(prefix.size()) : m.name;
        if (m.value) title += " " + std::to_string(*m.value);
    }
    return title + " at " + minutesAndSeconds(static_cast<double>(m.time));
}

PlotData plotOf(const DiveView& v, const ReportUnits& units) {
    PlotData plot;
    plot.depthUnit = units.depthUnit();
    plot.temperatureUnit = units.temperatureUnit();
    // The dive starts and ends at the surface, as the XML's first and last
    // sample points say.
    plot.depth.push_back({0, 0});
    for (const TimelineSample& s : v.timeline.samples) {
        plot.depth.push_back({static_cast<double>(s.time), units.depth(s.depth)});
        if (s.temperature)
            plot.temperature.push_back({static_cast<double>(s.time),
                                        static_cast<double>(units.temperature(*s.temperature))});
    }
    plot.depth.push_back({static_cast<double>(v.timeline.end), 0});
    for (const TimelineMark& m : v.timeline.marks) {
        PlotMarker marker;
        marker.kind = m.kind == TimelineMark::Kind::GasSwitch ? PlotMarker::Kind::GasSwitch
                                                              : PlotMarker::Kind::Event;
        marker.time = static_cast<double>(m.time);
        marker.title = markTitle(m);
        plot.markers.push_back(std::move(marker));
    }
    return plot;
}

void text(std::string& out, const std::string& value) {
    escapeXml(value, out);
}

// At most `width` characters of header text from `offset`, ending at the
// first NUL.
std::string headerText(const HeaderImage& h, int offset, int width) {
    const char* start = reinterpret_cast<const char*>(h.data() + offset);
    return std::string(start, strnlen(start, width));
}

void writeHeader(std::string& out, const DiveSet& set, const DocumentStamp& stamp) {
    const std::string model = modelName(set.header);
    const std::string serial = serialNumber(set);
    out += "<title>Dives of ";
    text(out, model + " " + serial);
    out += "</title>\n";
    out += Style;
    out += "</head>\n<body>\n<header>\n<h1>Dive report</h1>\n<dl class=\"device\">\n";
    auto fact = [&](const char* name, const std::string& value) {
        out += "<dt>";
        out += name;
        out += "</dt><dd>";
        text(out, value);
        out += "</dd>\n";
    };
    fact("Computer", model);
    fact("Serial number", serial);
    fact("Firmware", firmwareVersion(set.header));
    // The owner's text: 28 characters on a type 1 computer, 40 on the others.
    const std::string owner =
        headerText(set.header, 0x30, set.family == DataFamily::Family1 ? 28 : 40);
    if (!owner.empty()) fact("Personal information", owner);
    char when[40];
    const platform::LocalTime& t = stamp.time;
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    fact("Downloaded", when);
    fact("Dives", std::to_string(set.dives.size()));
    out += "</dl>\n</header>\n";
}

void writeTable(std::string& out, const std::vector<DiveView>& views, const ReportUnits& units) {
    out += "<table id=\"dives\">\n<thead><tr><th class=\"text\">Date and time</th><th>Dive</th>";
    out += "<th>Max depth</th><th>Duration</th><th>Min temp</th>";
    out += "<th class=\"text\">Gases</th><th class=\"text\">Mode</th></tr></thead>\n<tbody>\n";
    if (views.empty()) out += "<tr><td class=\"text\" colspan=\"7\">No dives</td></tr>\n";
    for (const DiveView& v : views) {
        const std::string anchor = "dive-" + std::to_string(v.number);
        out += "<tr><td class=\"text\"><a href=\"#" + anchor + "\">";
        text(out, dateTime(*v.record));
        out += "</a></td><td>" + std::to_string(v.number) + "</td><td>";
        text(out, units.depthText(v.maxDepth));
        out += "</td><td>";
        text(out, minutesAndSeconds(v.duration));
        out += "</td><td>";
        text(out, v.minTemperature ? units.temperatureText(*v.minTemperature) : "-");
        out += "</td><td class=\"text\">";
        text(out, v.gases);
        out += "</td><td class=\"text\">";
        text(out, v.mode.empty() ? "-" : v.mode);
        out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
}

void writeDive(std::string& out, const DiveView& v, const ReportUnits& units) {
    const DiveRecord& d = *v.record;
    out += "<section class=\"dive\" id=\"dive-" + std::to_string(v.number) + "\">\n<h2>";
    text(out, "Dive " + std::to_string(v.number) + Separator + dateTime(d));
    out += "</h2>\n<p class=\"facts\">";
    std::string facts = "Maximum depth " + units.depthText(v.maxDepth) + Separator + "duration " +
                        minutesAndSeconds(v.duration);
    if (v.minTemperature)
        facts += Separator + "minimum " + units.temperatureText(*v.minTemperature);
    if (!v.mode.empty()) facts += Separator + v.mode;
    facts += Separator + v.gases;
    char series[64];
    std::snprintf(series, sizeof series, "dive %u of its series, surface interval %02u:%02u",
                  unsigned{d.diveNumber}, unsigned{d.surfaceIntervalHours},
                  unsigned{d.surfaceIntervalMinutes});
    facts += Separator + series;
    text(out, facts);
    out += "</p>\n";
    if (v.timeline.samples.empty()) {
        out += "<p class=\"none\">The computer recorded no samples for this dive.</p>\n";
    } else {
        out += profileSvg(plotOf(v, units), "Profile of dive " + std::to_string(v.number));
    }
    out += "<p><a href=\"#dives\">Back to the table</a></p>\n</section>\n";
}

}  // namespace

std::string htmlReport(const DiveSet& set, UnitSystem unitSystem, const DocumentStamp& stamp) {
    const ReportUnits units(unitSystem, set.family);
    std::vector<DiveView> views;
    views.reserve(set.dives.size());
    // Newest first: the set holds the oldest first.
    for (size_t i = set.dives.size(); i-- > 0;)
        views.push_back(viewOf(set.family, set.dives[i], static_cast<int>(i + 1), units));

    std::string page;
    page.reserve(8192 + views.size() * 8192);
    // Void elements are closed XML-style too, so an XML parser reads the page.
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n";
    page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n";
    writeHeader(page, set, stamp);
    writeTable(page, views, units);
    if (!views.empty()) page += Legend;
    for (const DiveView& v : views) writeDive(page, v, units);
    page += "</body>\n</html>\n";

    Latin1ToUtf8 utf8(page.c_str());
    return std::string(utf8.data(), utf8.length());
}

}  // namespace talvek
