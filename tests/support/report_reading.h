#pragma once
// Reads a report page back as a reader of it would: a dive's section, the
// points of its plot's lines, its tick labels with their positions, and its
// marks with their tooltips.  Independent of the code that writes the page:
// plain text searches and regular expressions over the markup.
#include <cstdlib>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace talvek {

namespace report_test {

struct Point {
    double x = 0;
    double y = 0;
};

// A tick label: its number and where it stands on its axis.
struct Tick {
    double at = 0;
    std::string label;
    double value() const { return std::strtod(label.c_str(), nullptr); }
};

struct Mark {
    std::string kind;  // "ev", "gas" or "max"
    std::string title;
    Point at;  // the circle's centre, the diamond's top, the triangle's tip
};

struct Plot {
    std::vector<Point> depth;
    std::vector<Point> temperature;
    std::vector<Tick> time;              // x positions, labels in minutes
    std::vector<Tick> depthTicks;        // y positions
    std::vector<Tick> temperatureTicks;  // y positions
    std::vector<Mark> marks;
    Point bgOrigin;
    Point bgSize;
};

// The text of the section of dive `number` ("" when there is none).
inline std::string diveSection(const std::string& page, int number) {
    const std::string start = "<section class=\"dive\" id=\"dive-" + std::to_string(number) + "\">";
    const auto a = page.find(start);
    if (a == std::string::npos) return "";
    const auto b = page.find("</section>", a);
    return page.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

inline std::vector<Point> pathPoints(const std::string& d) {
    std::vector<Point> points;
    static const std::regex pair(R"([ML](-?[0-9.]+),(-?[0-9.]+))");
    for (auto it = std::sregex_iterator(d.begin(), d.end(), pair); it != std::sregex_iterator();
         ++it)
        points.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
    return points;
}

inline std::vector<Tick> ticks(const std::string& svg, const std::string& cssClass,
                               const char* coordinate) {
    std::vector<Tick> out;
    const std::regex text("<text class=\"" + cssClass +
                          R"(\" x=\"(-?[0-9.]+)\" y=\"(-?[0-9.]+)\">([^<]*)</text>)");
    const bool useX = std::string(coordinate) == "x";
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator();
         ++it)
        out.push_back({std::stod((*it)[useX ? 1 : 2]), (*it)[3]});
    return out;
}

inline std::string unescape(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities)
        for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::string(from).size(), to);
    return s;
}

inline Plot readPlot(const std::string& section) {
    Plot plot;
    std::smatch m;
    static const std::regex depth("<path class=\"depth\" d=\"([^\"]*)\"");
    if (std::regex_search(section, m, depth)) plot.depth = pathPoints(m[1]);
    static const std::regex temperature("<path class=\"temp\" d=\"([^\"]*)\"");
    if (std::regex_search(section, m, temperature)) plot.temperature = pathPoints(m[1]);
    static const std::regex bg(
        R"re(<rect class="bg" x="([0-9.]+)" y="([0-9.]+)" width="([0-9.]+)" height="([0-9.]+)")re");
    if (std::regex_search(section, m, bg)) {
        plot.bgOrigin = {std::stod(m[1]), std::stod(m[2])};
        plot.bgSize = {std::stod(m[3]), std::stod(m[4])};
    }
    plot.time = ticks(section, "tx", "x");
    plot.depthTicks = ticks(section, "ty", "y");
    plot.temperatureTicks = ticks(section, "tt", "y");

    static const std::regex mark(
        R"re(<g class="(ev|gas|max)"><title>([^<]*)</title><(?:circle cx="([0-9.]+)" cy="([0-9.]+)"|path d="M([0-9.]+),([0-9.]+)))re");
    for (auto it = std::sregex_iterator(section.begin(), section.end(), mark);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& g = *it;
        Mark k;
        k.kind = g[1];
        k.title = unescape(g[2]);
        k.at = g[3].matched ? Point{std::stod(g[3]), std::stod(g[4])}
                            : Point{std::stod(g[5]), std::stod(g[6])};
        plot.marks.push_back(k);
    }
    return plot;
}

// The straight line through the first and the last tick: position of a value.
struct AxisLine {
    double origin = 0;  // position of value 0
    double slope = 0;   // position per unit
    double at(double value) const { return origin + slope * value; }
};

inline AxisLine axisLine(const std::vector<Tick>& ticks) {
    AxisLine line;
    if (ticks.size() < 2) return line;
    const Tick& a = ticks.front();
    const Tick& b = ticks.back();
    line.slope = (b.at - a.at) / (b.value() - a.value());
    line.origin = a.at - line.slope * a.value();
    return line;
}

}  // namespace report_test

}  // namespace talvek
