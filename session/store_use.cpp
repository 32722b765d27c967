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

}  // namespace

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
    std::string why;
    try {
        why = store::save(directory, computer);
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (!why.empty()) {
        trace::write(trace::Error, "DiveStore: Not Saved (%s)", why.c_str());
        return;
    }
    trace::write(trace::Info, "DiveStore: Saved %zu Dives (%s)", computer.dives.size(),
                 store::pathIn(directory, computer.family, computer.header).c_str());
}

}  // namespace talvek
