// The drivers the worker probes when nobody supplies others.
#include "app/download_worker.h"
#include "device/device_typec2v2.h"
#include "device/device_typed.h"
#include "device/errors.h"

namespace {

// Stands for an interface type whose driver is not part of this build: the
// probe finds nothing and the worker goes on with the next type.
std::unique_ptr<sAPI::Device> absent(const std::wstring&, const sAPI::CancelFlag*) {
    throw sAPI::Device_Not_Present(sAPI::ErrorText(17));
}

template <typename Driver>
std::unique_ptr<sAPI::Device> make(const std::wstring& port, const sAPI::CancelFlag* cancel) {
    return std::make_unique<Driver>(port.c_str(), cancel);
}

}  // namespace

TDriverFactory DefaultDriverFactory() {
    TDriverFactory f;
    f.type1 = absent;
    f.type2 = make<sAPI::Device_TypeD>;
    f.type3 = make<sAPI::Device_TypeC2V2>;
    return f;
}
