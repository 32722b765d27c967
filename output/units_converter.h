#pragma once
// Conversion of the devices' raw numbers into the output unit system.
//
// Raw units: family 1 reports feet, degrees Celsius and units of 2 bar;
// families 2 and 3 report centimetres, degrees Celsius and units of 0.1 bar.
// Results: imperial feet, degrees Fahrenheit, psi; metric centimetres,
// degrees Celsius, bar; scientific metres, kelvin, bar.
#include <cstdint>

namespace talvek {

// Output unit system codes, as they appear in the Options word.
struct UnitSystem {
    static constexpr int32_t Imperial = 0x20000;
    static constexpr int32_t Metric = 0x40000;
    static constexpr int32_t Scientific = 0x80000;
    static constexpr int32_t Mask = 0xE0000;
};

// 1/30.48, held in extended precision so every build prints the same feet.
constexpr long double FeetPerCentimetre = 0.03280839895013123L;

class UnitsConverter {
  public:
    UnitsConverter(const UnitsConverter&) = delete;
    UnitsConverter& operator=(const UnitsConverter&) = delete;
    // `conversionType` is the unit system code OR the family code (1, 2 or
    // 4).  Any other combination throws CriticalError
    // "UnitsConverter: Unknown Conversion Type ".
    explicit UnitsConverter(int32_t conversionType);
    virtual ~UnitsConverter();

    virtual long double depth(int32_t raw) const;
    virtual int32_t temperature(int32_t raw) const;
    // The pressure function's value truncated toward zero.
    virtual int32_t pressure(int32_t raw) const;
    virtual int32_t system() const = 0;

    int32_t conversionType() const { return conversionType_; }

  protected:
    using DepthFn = long double (*)(int32_t);
    using TemperatureFn = int32_t (*)(int32_t);
    using PressureFn = double (*)(int32_t);

    int32_t conversionType_;
    DepthFn depthFn_;
    TemperatureFn temperatureFn_;
    PressureFn pressureFn_;
};

class MetricUnits : public UnitsConverter {
  public:
    explicit MetricUnits(int32_t familyCode) : UnitsConverter(UnitSystem::Metric | familyCode) {}
    int32_t system() const override { return UnitSystem::Metric; }
};

class ImperialUnits : public UnitsConverter {
  public:
    explicit ImperialUnits(int32_t familyCode)
        : UnitsConverter(UnitSystem::Imperial | familyCode) {}
    int32_t system() const override { return UnitSystem::Imperial; }
};

class ScientificUnits : public UnitsConverter {
  public:
    explicit ScientificUnits(int32_t familyCode)
        : UnitsConverter(UnitSystem::Scientific | familyCode) {}
    // The depth functions deliver centimetres; scientific output is metres.
    long double depth(int32_t raw) const override;
    int32_t system() const override { return UnitSystem::Scientific; }
};

// SI values for a layout that prescribes them: metres (the scientific
// depth), kelvin (the Celsius value + 273.15) and pascal (the bar value the
// other layouts write, x 100000).
class SiUnits {
  public:
    explicit SiUnits(int32_t familyCode) : scientific_(familyCode), metric_(familyCode) {}
    double metres(int32_t rawDepth) const;
    double kelvin(int32_t rawTemperature) const;
    double pascals(int32_t rawPressure) const;

  private:
    ScientificUnits scientific_;
    MetricUnits metric_;
};

}  // namespace talvek
