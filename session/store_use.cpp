#include "session/store_use.h"

#include <algorithm>
#include <exception>
#include <string>

#include "platform/os.h"
#include "store/dive_store.h"
#include "trace/trace.h"

namespace talvek {

namespace {

HeaderImage headerOf(const Driver& device) {
    HeaderImage h{};
    std::copy(device.header(), device.header() + HeaderImageSize, h.begin());
    return h;
}

std::string storeDirectory(const DownloadExtras& extras) {
    return extras.storeDirectory.empty() ? platform::dataDirectory() : extras.storeDirectory;
}

// What went wrong saving with `save` (which returns it, or may throw); the
// empty text when nothing did.
template <typename Save>
std::string saveFailure(Save save) {
    try {
        return save();
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

RememberedType::RememberedType(const InterfaceTable& table, const Request& request)
    : active_(request.extras.storing() && !request.extras.imageFile),
      port_(request.port),
      directory_(active_ ? storeDirectory(request.extras) : std::string()) {
    if (!active_ || directory_.empty()) return;
    const std::string path = store::portTypesPath(directory_);
    const store::PortTypesLoad loaded = store::loadPortTypes(path);
    current_ = loaded.status == store::PortTypesLoad::Loaded;
    if (current_) types_ = loaded.types;
    // -dv chose the types itself.
    if (!(request.probe == ProbeChoice::all())) return;
    if (loaded.status == store::PortTypesLoad::Refused) {
        trace::write(trace::Info, "Probe: Remembered Types Ignored (%s: %s)", path.c_str(),
                     loaded.why.c_str());
        return;
    }
    const std::optional<int> number = types_.on(port_);
    if (!number) {
        const std::string why = current_ ? "nothing found on " + port_ + " yet" : loaded.why;
        trace::write(trace::Info, "Probe: Usual Order (%s: %s)", path.c_str(), why.c_str());
        return;
    }
    if (!table.find(*number)) {
        trace::write(trace::Info, "Probe: Remembered Type Ignored (%s: no interface type %d)",
                     path.c_str(), *number);
        return;
    }
    first_ = ProbeFirst{*number, "last found on " + port_ + ": " + path};
}

void RememberedType::found(const InterfaceRow& row) {
    if (!active_ || directory_.empty()) return;
    if (current_ && types_.on(port_) == row.number) return;
    if (!types_.found(port_, row.number)) {
        trace::write(trace::Info,
                     "Probe: Device Type %d Not Remembered (the list cannot hold this port "
                     "or type)",
                     row.number);
        return;
    }
    const std::string why = saveFailure([&] { return store::savePortTypes(directory_, types_); });
    if (!why.empty()) {
        trace::write(trace::Error, "Probe: Device Type %d Not Remembered (%s)", row.number,
                     why.c_str());
        return;
    }
    current_ = true;
    trace::write(trace::Info, "Probe: Device Type %d Remembered For %s (%s)", row.number,
                 port_.c_str(), store::portTypesPath(directory_).c_str());
}

bool resumeFromStore(Driver& device, const InterfaceRow& row, const DownloadExtras& extras) {
    const std::string directory = storeDirectory(extras);
    if (directory.empty()) {
        trace::write(trace::Info, "NewDives: Full Download (no folder for the store)");
        return false;
    }
    const HeaderImage header = headerOf(device);
    const std::string path = store::pathIn(directory, row.family, header);
    const store::LoadResult loaded = store::load(path);
    std::string why;
    if (loaded.status != store::LoadResult::Loaded) {
        why = loaded.why;
    } else if (!store::sameComputer(loaded.computer, row.family, header)) {
        why = "the store holds another computer";
    } else {
        const ResumeResult r = device.resumeAfter(loaded.computer.dives);
        if (r.resumed) {
            trace::write(trace::Info, "NewDives: %zu Stored Dives Still In Memory (%s)", r.kept,
                         path.c_str());
            return true;
        }
        why = r.reason;
    }
    trace::write(trace::Info, "NewDives: Full Download (%s: %s)", path.c_str(), why.c_str());
    return false;
}

void saveToStore(const Driver& device, const InterfaceRow& row, const DownloadExtras& extras) {
    store::StoredComputer computer;
    computer.family = row.family;
    computer.header = headerOf(device);
    computer.identity = store::identityOf(computer.family, computer.header);
    computer.dives = device.rawDives();
    const std::string directory = storeDirectory(extras);
    const std::string why = saveFailure([&] { return store::save(directory, computer); });
    if (!why.empty()) {
        trace::write(trace::Error, "DiveStore: Not Saved (%s)", why.c_str());
        return;
    }
    trace::write(trace::Info, "DiveStore: Saved %zu Dives (%s)", computer.dives.size(),
                 store::pathIn(directory, computer.family, computer.header).c_str());
}

}  // namespace talvek
