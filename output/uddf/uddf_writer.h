#pragma once
// The download as a UDDF 3.2.3 document, the interchange layout dive logbooks
// import: the generator, the owner with the dive computer, every mix used, and
// each dive with its cylinders and samples.  Every family; SI units whatever
// units the run asked for.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "output/dive_timeline.h"
#include "output/document_stamp.h"
#include "output/units_converter.h"
#include "output/writer.h"

namespace talvek {

class XmlElement;

// The namespace a UDDF 3.2 root declares.
extern const char* const UddfNamespace;

class UddfWriter : public Writer {
  public:
    UddfWriter(const DiveSet& set, const DocumentStamp& stamp);
    void make(XmlDocument& document) override;

  private:
    // One point of the profile, gathered before it is written in the
    // schema's order: a sample (with a depth), or an event or gas switch
    // at a time no sample has.
    struct Waypoint {
        std::vector<const char*> alarms;
        std::optional<double> depth;         // m
        int64_t time = 0;                    // s since the start of the dive
        std::optional<int32_t> heading;      // degrees
        const char* marker = nullptr;        // a mark the diver set
        std::string switchMix;               // id of the mix switched to, or empty
        std::optional<double> tankPressure;  // Pa
        std::optional<double> temperature;   // K

        // Puts `mark` (with `mix`, the id of a switch's mix) on this point;
        // false when the point already holds one of its kind.
        bool take(const TimelineMark& mark, const std::string& mix);
    };
    // A cylinder the dive breathes from.
    struct Tank {
        std::string mix;              // id of its mix; empty when the gas is not known
        std::optional<double> begin;  // Pa, as the computer recorded them
        std::optional<double> end;
    };
    // A dive as it will be written.
    struct Dive {
        ConstDivePtr record;
        int place = 0;                   // its place in the download, from 1
        std::optional<uint32_t> number;  // in the computer's log
        std::vector<Tank> tanks;
        std::vector<Waypoint> points;             // in time order
        double greatestDepth = 0;                 // m
        double duration = 0;                      // s
        std::optional<double> lowestTemperature;  // K
        std::optional<double> meanDepth;          // m
    };

    Dive readDive(const ConstDivePtr& record, int place);
    void writeGenerator(XmlElement* root);
    void writeOwner(XmlElement* root);
    void writeGasDefinitions(XmlElement* gasDefinitions);
    void writeDive(XmlElement* group, const Dive& dive);
    // The dive's waypoints, from its time line, in time order; never empty.
    std::vector<Waypoint> waypoints(const DiveRecord& dive, const DiveTimeline& line);
    // The cylinders of the mixes the dive breathes, the first holding the
    // pressures the computer recorded.
    std::vector<Tank> tanks(const DiveTimeline& line);
    static void writeWaypoint(XmlElement* samples, const Waypoint& point);

    // The id of the mix with `o2` percent, defined once for the document;
    // empty when `o2` is no breathable mix (a gauge dive's 0).
    std::string mixId(int32_t o2);

    const DocumentStamp stamp_;
    const SiUnits si_;
    std::map<int32_t, std::string> mixIds_;  // O2 percent -> id
};

}  // namespace talvek
