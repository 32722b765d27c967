#include "generate/units_converter.h"

#include <cmath>

#include "device/errors.h"

namespace {

// Depth: family 1 reports feet, families 2 and 3 centimetres.
long double FeetFromFeet(int32_t raw) {
    return raw;
}
long double FeetFromCentimetres(int32_t raw) {
    return raw * FeetPerCentimetre;
}
long double CentimetresFromFeet(int32_t raw) {
    return static_cast<long double>(raw) * 30.48;
}
long double CentimetresFromCentimetres(int32_t raw) {
    return raw;
}

// Temperature: raw degrees Celsius.
int32_t Fahrenheit(int32_t raw) {
    return static_cast<int32_t>(std::trunc(raw * 1.8 + 32));
}
int32_t Celsius(int32_t raw) {
    return raw;
}
int32_t Kelvin(int32_t raw) {
    return raw + 273;
}

// Pressure: family 1 in units of 2 bar, families 2 and 3 in 0.1 bar.
double PsiFrom2Bar(int32_t raw) {
    return (2.0 * raw) * 14.50377377;
}
double PsiFromDecibar(int32_t raw) {
    return raw * 1.450377377;
}
double BarFrom2Bar(int32_t raw) {
    return 2.0 * raw;
}
double BarFromDecibar(int32_t raw) {
    return raw / 10;
}

}  // namespace

UnitsConverter::UnitsConverter(int32_t conversionType) : conversionType_(conversionType) {
    switch (conversionType) {
        case Units::Imperial | 1:
            depthFn_ = FeetFromFeet;
            temperatureFn_ = Fahrenheit;
            pressureFn_ = PsiFrom2Bar;
            break;
        case Units::Imperial | 2:
        case Units::Imperial | 4:
            depthFn_ = FeetFromCentimetres;
            temperatureFn_ = Fahrenheit;
            pressureFn_ = PsiFromDecibar;
            break;
        case Units::Metric | 1:
            depthFn_ = CentimetresFromFeet;
            temperatureFn_ = Celsius;
            pressureFn_ = BarFrom2Bar;
            break;
        case Units::Metric | 2:
        case Units::Metric | 4:
            depthFn_ = CentimetresFromCentimetres;
            temperatureFn_ = Celsius;
            pressureFn_ = BarFromDecibar;
            break;
        case Units::Scientific | 1:
            depthFn_ = CentimetresFromFeet;
            temperatureFn_ = Kelvin;
            pressureFn_ = BarFrom2Bar;
            break;
        case Units::Scientific | 2:
        case Units::Scientific | 4:
            depthFn_ = CentimetresFromCentimetres;
            temperatureFn_ = Kelvin;
            pressureFn_ = BarFromDecibar;
            break;
        default:
            throw sAPI::CriticalError(L"UnitsConverter: Unknown Conversion Type ");
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

long double ScienceUnits::depth(int32_t raw) const {
    return UnitsConverter::depth(raw) * 0.01;
}
