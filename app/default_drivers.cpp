// The drivers the worker probes when nobody supplies others.
#include "app/download_worker.h"
#include "device/errors.h"

namespace {

// Stands for an interface type whose driver is not part of this build: the
// probe finds nothing and the worker goes on with the next type.
std::unique_ptr<sAPI::Device> absent(const std::wstring&, const sAPI::CancelFlag*) {
    throw sAPI::Device_Not_Present(sAPI::ErrorText(17));
}

}  // namespace

TDriverFactory DefaultDriverFactory() {
    TDriverFactory f;
    f.type1 = absent;
    f.type2 = absent;
    f.type3 = absent;
    return f;
}
