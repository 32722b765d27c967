#pragma once
// The download as a UDDF 3.2.3 document, the interchange layout dive logbooks
// import: the generator, the owner with the dive computer, every mix used, and
// each dive with its samples.  Every family; SI units whatever units the run
// asked for.
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
    // One sample point, gathered before it is written in the schema's order.
    struct Waypoint {
        std::vector<const char*> alarms;
        std::optional<double> depth;         // m
        double time = 0;                     // s since the start of the dive
        std::string switchMix;               // id of the mix switched to, or empty
        std::optional<double> tankPressure;  // Pa
        std::optional<double> temperature;   // K
    };
    // A dive as it will be written.
    struct Dive {
        ConstDivePtr record;
        int number = 0;  // its place in the download, from 1
        std::vector<Waypoint> points;
        double greatestDepth = 0;                 // m
        double duration = 0;                      // s
        std::optional<double> lowestTemperature;  // K
    };

    Dive readDive(const ConstDivePtr& record, int number);
    void writeGenerator(XmlElement* root);
    void writeOwner(XmlElement* root);
    void writeGasDefinitions(XmlElement* gasDefinitions);
    void writeDive(XmlElement* group, const Dive& dive);
    // The dive's waypoints, from its time line; never empty.
    std::vector<Waypoint> waypoints(const DiveRecord& dive, const DiveTimeline& line);
    static void writeWaypoint(XmlElement* samples, const Waypoint& point);

    // The id of the mix with `o2` percent, defined once for the document;
    // empty when `o2` is no breathable mix (a gauge dive's 0).
    std::string mixId(int32_t o2);

    const DocumentStamp stamp_;
    const SiUnits si_;
    std::map<int32_t, std::string> mixIds_;  // O2 percent -> id
};

}  // namespace talvek
