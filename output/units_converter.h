#pragma once
// Conversion of the devices' raw numbers into the output unit system.
//
// Raw units: family 1 reports feet, degrees Celsius and units of 2 bar;
// families 2 and 3 report centimetres, degrees Celsius and units of 0.1 bar.
// Results: imperial feet, degrees Fahrenheit, psi; metric centimetres,
// degrees Celsius, bar; scientific metres, kelvin, bar.
#include <cstdint>

#include "dc/base/dive_set.h"

namespace talvek {

// The output unit systems.  The values are the codes the unit conversion
// combines with a family code (conversionType()).
enum class UnitSystem : int32_t { Imperial = 0x20000, Metric = 0x40000, Scientific = 0x80000 };

// 1/30.48, held in extended precision so every build prints the same feet.
constexpr long double FeetPerCentimetre = 0.03280839895013123L;

class UnitsConverter {
  public:
    UnitsConverter(const UnitsConverter&) = delete;
    UnitsConverter& operator=(const UnitsConverter&) = delete;
    // A family the table of conversions does not have throws CriticalError
    // "UnitsConverter: Unknown Conversion Type ".
    UnitsConverter(UnitSystem system, DataFamily family);
    virtual ~UnitsConverter();

    virtual long double depth(int32_t raw) const;
    virtual int32_t temperature(int32_t raw) const;
    // The pressure function's value truncated toward zero.
    virtual int32_t pressure(int32_t raw) const;
    virtual UnitSystem system() const = 0;

    // The unit system's code OR the family's code.
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
    explicit MetricUnits(DataFamily family) : UnitsConverter(UnitSystem::Metric, family) {}
    UnitSystem system() const override { return UnitSystem::Metric; }
};

class ImperialUnits : public UnitsConverter {
  public:
    explicit ImperialUnits(DataFamily family) : UnitsConverter(UnitSystem::Imperial, family) {}
    UnitSystem system() const override { return UnitSystem::Imperial; }
};

class ScientificUnits : public UnitsConverter {
  public:
    explicit ScientificUnits(DataFamily family) : UnitsConverter(UnitSystem::Scientific, family) {}
    // The depth functions deliver centimetres; scientific output is metres.
    long double depth(int32_t raw) const override;
    UnitSystem system() const override { return UnitSystem::Scientific; }
};

// SI values for a layout that prescribes them: metres (the scientific
// depth), kelvin (the Celsius value + 273.15) and pascal (the bar value the
// other layouts write, x 100000).
class SiUnits {
  public:
    explicit SiUnits(DataFamily family) : scientific_(family), metric_(family) {}
    double metres(int32_t rawDepth) const;
    double kelvin(int32_t rawTemperature) const;
    double pascals(int32_t rawPressure) const;

  private:
    ScientificUnits scientific_;
    MetricUnits metric_;
};

}  // namespace talvek
