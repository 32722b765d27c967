#include "output/units_converter.h"

#include <cmath>

#include "dc/base/errors.h"

namespace talvek {

namespace {

// Depth: family 1 reports feet, families 2 and 3 centimetres.
long double feetFromFeet(int32_t raw) {
    return raw;
}
long double feetFromCentimetres(int32_t raw) {
    return raw * FeetPerCentimetre;
}
long double centimetresFromFeet(int32_t raw) {
    return static_cast<long double>(raw) * 30.48;
}
long double centimetresFromCentimetres(int32_t raw) {
    return raw;
}

// Temperature: raw degrees Celsius.
int32_t fahrenheit(int32_t raw) {
    return static_cast<int32_t>(std::trunc(raw * 1.8 + 32));
}
int32_t celsius(int32_t raw) {
    return raw;
}
int32_t kelvin(int32_t raw) {
    return raw + 273;
}

// Pressure: family 1 in units of 2 bar, families 2 and 3 in 0.1 bar.
double psiFrom2Bar(int32_t raw) {
    return (2.0 * raw) * 14.50377377;
}
double psiFromDecibar(int32_t raw) {
    return raw * 1.450377377;
}
double barFrom2Bar(int32_t raw) {
    return 2.0 * raw;
}
double barFromDecibar(int32_t raw) {
    return raw / 10;
}

}  // namespace

namespace {

constexpr int32_t code(UnitSystem system, int32_t family) {
    return static_cast<int32_t>(system) | family;
}

}  // namespace

UnitsConverter::UnitsConverter(UnitSystem system, DataFamily family)
    : conversionType_(code(system, familyCode(family))) {
    switch (conversionType_) {
        case code(UnitSystem::Imperial, 1):
            depthFn_ = feetFromFeet;
            temperatureFn_ = fahrenheit;
            pressureFn_ = psiFrom2Bar;
            break;
        case code(UnitSystem::Imperial, 2):
        case code(UnitSystem::Imperial, 4):
            depthFn_ = feetFromCentimetres;
            temperatureFn_ = fahrenheit;
            pressureFn_ = psiFromDecibar;
            break;
        case code(UnitSystem::Metric, 1):
            depthFn_ = centimetresFromFeet;
            temperatureFn_ = celsius;
            pressureFn_ = barFrom2Bar;
            break;
        case code(UnitSystem::Metric, 2):
        case code(UnitSystem::Metric, 4):
            depthFn_ = centimetresFromCentimetres;
            temperatureFn_ = celsius;
            pressureFn_ = barFromDecibar;
            break;
        case code(UnitSystem::Scientific, 1):
            depthFn_ = centimetresFromFeet;
            temperatureFn_ = kelvin;
            pressureFn_ = barFrom2Bar;
            break;
        case code(UnitSystem::Scientific, 2):
        case code(UnitSystem::Scientific, 4):
            depthFn_ = centimetresFromCentimetres;
            temperatureFn_ = kelvin;
            pressureFn_ = barFromDecibar;
            break;
        default:
            throw CriticalError("UnitsConverter: Unknown Conversion Type ");
    }
}

UnitsConverter::~UnitsConverter() = default;

long double UnitsConverter::depth(int32_t raw) const {
    return depthFn_(raw);
}

int32_t UnitsConverter::temperature(int32_t raw) const {
    return temperatureFn_(raw);
}

int32_t UnitsConverter::pressure(int32_t raw) const {
    return static_cast<int32_t>(std::trunc(pressureFn_(raw)));
}

long double ScientificUnits::depth(int32_t raw) const {
    return UnitsConverter::depth(raw) * 0.01;
}

double SiUnits::metres(int32_t rawDepth) const {
    return static_cast<double>(scientific_.depth(rawDepth));
}

double SiUnits::kelvin(int32_t rawTemperature) const {
    return metric_.temperature(rawTemperature) + 273.15;
}

double SiUnits::pascals(int32_t rawPressure) const {
    return metric_.pressure(rawPressure) * 100000.0;
}

}  // namespace talvek
