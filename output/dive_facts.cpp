#include "output/dive_facts.h"

#include <algorithm>
#include <cstdio>

namespace talvek {

namespace {

struct ModelRow {
    const char* name;
    uint8_t code;
};

// Row 0 is the default and never matched; the row with code 0xFF ends it.
const ModelRow ModelNames[] = {
    {"Unknown", 0},    {"Ardel", 3},    {"Brinto", 4},  {"K3", 5},      {"Corvel", 10},
    {"Dastra", 11},    {"Evrin", 12},   {"Folmar", 13}, {"K9", 14},     {"K6", 15},
    {"Corvel2", 16},   {"Evrin2", 17},  {"K4", 18},     {"Evrin3", 20}, {"Corvel3", 19},
    {"CorvelAir", 21}, {nullptr, 0xFF},
};

// Event type 5 names the new mix's O2 (as does code 255 of a type 3 event);
// type 3 codes 15 and 143 switch to the second and back to the first mix.
constexpr uint8_t GasEventType = 5;
constexpr uint8_t CodeEventType = 3;
constexpr uint8_t ToSecondMixCode = 15;
constexpr uint8_t ToFirstMixCode = 143;
constexpr uint8_t ToO2Code = 255;

}  // namespace

std::string modelName(const HeaderImage& header) {
    const char* name = ModelNames[0].name;
    for (const ModelRow* row = ModelNames + 1; row->code != 0xFF; ++row)
        if (row->code == header[0x28]) name = row->name;
    return name;
}

std::string firmwareVersion(const HeaderImage& header) {
    char text[16];
    std::snprintf(text, sizeof text, "%i.%i.%i", int{header[0x29]}, int{header[0x81]},
                  int{header[0x82]});
    return text;
}

std::string serialNumber(const DiveSet& set) {
    const HeaderImage& h = set.header;
    if (set.family == DataFamily::Family1)
        return std::to_string(h[0x2A] * 1000000u + h[0x2B] * 10000u + h[0x2C] * 100u + h[0x2D]);
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u%02u", unsigned{h[0x2A]}, unsigned{h[0x2B]},
                  unsigned{h[0x2C]}, unsigned{h[0x2D]});
    return text;
}

std::vector<uint32_t> logNumbers(const DiveSet& set) {
    const uint32_t total = set.header[0x26] | set.header[0x27] << 8;
    const size_t met = set.dives.size() + set.unreadable.size();
    if (met == 0 || total < met) return {};
    std::vector<size_t> unreadable = set.unreadable;
    std::sort(unreadable.begin(), unreadable.end());
    std::vector<uint32_t> numbers;
    uint32_t number = static_cast<uint32_t>(total - met);  // dives logged before the oldest met
    auto skipped = unreadable.begin();
    for (size_t i = 0; i < set.dives.size(); ++i) {
        for (; skipped != unreadable.end() && *skipped <= i; ++skipped) ++number;
        numbers.push_back(++number);
    }
    return numbers;
}

std::vector<std::vector<ConstDivePtr>> repetitionGroups(const DiveSet& set) {
    std::vector<std::vector<ConstDivePtr>> groups;
    bool groupOpen = false;
    for (const ConstDivePtr& dive : set.dives) {
        if (dive->diveNumber == 1) {
            if (groupOpen) groups.emplace_back();
            groupOpen = true;
        }
        if (groups.empty()) groups.emplace_back();
        groups.back().push_back(dive);
    }
    return groups;
}

std::vector<StartMix> startMixes(DataFamily family, const DiveRecord& d) {
    if (family == DataFamily::Family1) {
        switch (d.diveMode) {
            case 1:
                return {{d.oxygen1, nullptr}};
            case 2:
                return {{0, "Gauge"}};
            default:
                return {{21, "Air"}};
        }
    }
    if (d.diveMode != 1 && d.diveMode != 2) return {{21, "Air"}};
    std::vector<StartMix> mixes{{d.oxygen1, nullptr}};
    if (d.oxygen2 > 0) mixes.push_back({d.oxygen2, nullptr});
    if (d.oxygen3 > 0) mixes.push_back({d.oxygen3, nullptr});
    return mixes;
}

GasSwitch gasSwitchOf(const ProfileDecoder::Event& e) {
    if (e.type == GasEventType) return {GasSwitch::ToO2, e.data3};
    if (e.type != CodeEventType) return {};
    switch (e.data1) {
        case ToSecondMixCode:
            return {GasSwitch::ToSecondMix, 0};
        case ToFirstMixCode:
            return {GasSwitch::ToFirstMix, 0};
        case ToO2Code:
            return {GasSwitch::ToO2, e.data3};
        default:
            return {};
    }
}

}  // namespace talvek
