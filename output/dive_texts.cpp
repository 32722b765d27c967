#include "output/dive_texts.h"

#include <string>

namespace talvek {

namespace {

const char* const ComputerModes[] = {"air", "nitrox", "gauge"};

// Joined to the event names below: prefix + name or prefix + infix + name.
const std::string Prefix = "talvek:";
const std::string EndInfix = "end_";

}  // namespace

std::string computerModeText(uint8_t diveMode) {
    return diveMode < 3 ? ComputerModes[diveMode] : "";
}

const char* family1MarkerEventId(uint8_t marker) {
    switch (marker) {
        case 122:
            return "slow";
        case 123:
            return "violation";
        case 124:
            return "user";
        case 125:
            return "surface";
        case 126:
            return "deco";
        case 127:
            return "ceiling";
        case 129:
            return "safetyceiling";
        default:
            return nullptr;
    }
}

std::string codeEventId(int code, bool& withValue) {
    withValue = false;
    switch (code) {
        case 1:
            return Prefix + "safety";
        case 3:
            return "deco";
        case 4:
            return "slow";
        case 5:
            return "ceiling";
        case 6:
            return Prefix + "safetyceiling";
        case 7:
            return Prefix + "ascend";
        case 8:
            return Prefix + "divetime";
        case 9:
            return Prefix + "depthalarm";
        case 13:
            return Prefix + "gastime";
        case 14:
            withValue = true;
            return Prefix + "rgbm";
        case 129:
            return Prefix + EndInfix + "safety";
        case 131:
            return Prefix + EndInfix + "deco";
        case 132:
            return Prefix + EndInfix + "slow";
        case 133:
            return Prefix + EndInfix + "divetime";
        case 134:
            return Prefix + EndInfix + "safetyceiling";
        case 135:
            return Prefix + EndInfix + "ascend";
        case 136:
            return Prefix + EndInfix + "ceiling";
        case 137:
            return Prefix + EndInfix + "depthalarm";
        case 141:
            return Prefix + EndInfix + "gastime";
        case 142:
            return Prefix + "rgbm";
        default:
            withValue = true;
            return Prefix + "unknown";
    }
}

}  // namespace talvek
