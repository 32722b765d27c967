// The drivers the worker probes when nobody supplies others.
#include "app/download_worker.h"
#include "device/device_type1.h"
#include "device/device_typec2v2.h"
#include "device/device_typed.h"

namespace {

template <typename Driver>
std::unique_ptr<sAPI::Device> make(const std::wstring& port, const sAPI::CancelFlag* cancel) {
    return std::make_unique<Driver>(port.c_str(), cancel);
}

}  // namespace

TDriverFactory DefaultDriverFactory() {
    TDriverFactory f;
    f.type1 = make<sAPI::Device_Type1>;
    f.type2 = make<sAPI::Device_TypeD>;
    f.type3 = make<sAPI::Device_TypeC2V2>;
    return f;
}
