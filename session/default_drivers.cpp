// The drivers the worker probes when nobody supplies others.
#include "dc/paged/type2_driver.h"
#include "dc/paged/type3_driver.h"
#include "dc/type1/type1_driver.h"
#include "session/download_worker.h"

namespace talvek {

namespace {

template <typename Driver>
DriverFactory::Make make(platform::SerialOpener& ports) {
    return [&ports](const std::string& port, const CancelFlag* cancel) {
        return std::make_unique<Driver>(port.c_str(), cancel, ports);
    };
}

}  // namespace

DriverFactory defaultDriverFactory(platform::SerialOpener& ports) {
    DriverFactory f;
    f.type1 = make<Type1Driver>(ports);
    f.type2 = make<Type2Driver>(ports);
    f.type3 = make<Type3Driver>(ports);
    return f;
}

}  // namespace talvek
