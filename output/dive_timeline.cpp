#include "output/dive_timeline.h"

#include "dc/profile/family1_profile.h"
#include "dc/profile/profile_decoder.h"
#include "output/dive_facts.h"
#include "output/dive_texts.h"

namespace talvek {

namespace {

// The dive's mix list, as the DCDML writers keep it: a switch to an O2 no
// mix has adds one named by its place in the list.
class Mixes {
  public:
    Mixes(DataFamily family, const DiveRecord& dive, std::vector<TimelineMix>& list) : list_(list) {
        for (const StartMix& mix : startMixes(family, dive)) add(mix.o2, mix.name);
    }

    const TimelineMix& byO2(int32_t o2) {
        for (const TimelineMix& mix : list_)
            if (mix.o2 == o2) return mix;
        return add(o2, nullptr);
    }

    size_t size() const { return list_.size(); }
    const TimelineMix& at(size_t i) const { return list_[i]; }

  private:
    const TimelineMix& add(int32_t o2, const char* name) {
        list_.push_back({name ? name : "gas" + std::to_string(list_.size() + 1), o2});
        return list_.back();
    }

    std::vector<TimelineMix>& list_;
};

void addSwitch(DiveTimeline& line, int64_t time, const TimelineMix& mix) {
    TimelineMark mark;
    mark.kind = TimelineMark::Kind::GasSwitch;
    mark.time = time;
    mark.name = mix.name;
    mark.o2 = mix.o2;
    mark.sample = line.samples.size();
    line.marks.push_back(mark);
}

void addEvent(DiveTimeline& line, int64_t time, std::string name,
              std::optional<int32_t> value = std::nullopt) {
    TimelineMark mark;
    mark.time = time;
    mark.name = std::move(name);
    mark.value = value;
    mark.sample = line.samples.size();
    line.marks.push_back(mark);
}

DiveTimeline family1Timeline(const DiveRecord& dive) {
    DiveTimeline line;
    Mixes mixes(DataFamily::Family1, dive, line.mixes);
    // Each depth change is one sample interval after the point before it;
    // what comes between two samples happened at the earlier one.
    uint32_t time = 0;
    int32_t feet = 0;
    Family1Profile profile(dive);
    Family1Profile::Item item;
    while (profile.next(item)) {
        switch (item.kind) {
            case Family1Profile::Kind::DepthChange:
                feet += item.value;
                time += dive.sampleInterval;
                line.samples.push_back({time, time, feet, std::nullopt, std::nullopt});
                break;
            case Family1Profile::Kind::Marker:
                if (const char* id = family1MarkerEventId(static_cast<uint8_t>(item.value)))
                    addEvent(line, time, id);
                break;
            case Family1Profile::Kind::GasSwitch:
                addSwitch(line, time, mixes.byO2(item.value));
                break;
            case Family1Profile::Kind::TruncatedGasSwitch:
                break;  // the O2 of the new mix never came
        }
    }
    line.end = time + dive.sampleInterval;
    if (dive.startCylinderPressure >= 1)
        line.pressures =
            DiveTimeline::Pressures{dive.startCylinderPressure, dive.endCylinderPressure};
    return line;
}

void addCodeEvent(DiveTimeline& line, Mixes& mixes, const ProfileDecoder::Event& e) {
    const int64_t time = int64_t{e.data4} + e.time;
    const GasSwitch to = gasSwitchOf(e);
    switch (to.kind) {
        case GasSwitch::ToSecondMix:
            // An air dive has no second mix; its XML writes no switch either.
            if (mixes.size() > 1) addSwitch(line, time, mixes.at(1));
            return;
        case GasSwitch::ToFirstMix:
            addSwitch(line, time, mixes.at(0));
            return;
        case GasSwitch::ToO2:
            addSwitch(line, time, mixes.byO2(to.o2));
            return;
        case GasSwitch::None:
            break;
    }
    bool withValue = false;
    std::string id = codeEventId(e.data1, withValue);
    addEvent(line, time, std::move(id), withValue ? std::optional<int32_t>(e.data1) : std::nullopt);
}

DiveTimeline decodedTimeline(DataFamily family, const ConstDivePtr& dive) {
    DiveTimeline line;
    Mixes mixes(family, *dive, line.mixes);
    ProfileDecoder profile(dive);
    while (profile.next()) {
        if (profile.eventsPending()) {
            while (const ProfileDecoder::Event* e = profile.nextEvent()) {
                switch (e->type) {
                    case 2:
                        // Placed where the profile recorded it: the XML's
                        // "time" of a surface event is the offset alone.
                        addEvent(line, int64_t{e->data4} + e->time, "surface");
                        break;
                    case 3:
                    case 5:
                        addCodeEvent(line, mixes, *e);
                        break;
                    case 4:
                        if (e->word & 0x8000)
                            addEvent(line, int64_t{e->data4} + e->time, "user");
                        else
                            addEvent(line, int64_t{e->data4} + e->time, "heading", e->word >> 1);
                        break;
                    default:
                        break;  // unknown event types carry nothing
                }
            }
            profile.clearEvents();
        } else {
            TimelineSample sample;
            sample.time = profile.time(false);
            sample.xmlTime = profile.time(true);
            sample.depth = profile.depth();
            if (profile.hasTemperature()) sample.temperature = profile.temperature();
            if (profile.hasPressure()) sample.pressure = profile.pressure();
            line.samples.push_back(sample);
        }
        if (profile.atEnd()) break;
    }
    line.end = profile.time(true);
    if (profile.startPressure() >= 1)
        line.pressures = DiveTimeline::Pressures{profile.startPressure(), profile.endPressure()};
    return line;
}

}  // namespace

DiveTimeline readTimeline(DataFamily family, const ConstDivePtr& dive) {
    return family == DataFamily::Family1 ? family1Timeline(*dive) : decodedTimeline(family, dive);
}

}  // namespace talvek
