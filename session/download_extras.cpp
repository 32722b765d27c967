// The parts of the download worker that serve -new, -store, -dump and
// -image.  Each of them only adds to a download: a store or dump that
// cannot be written is traced and the run ends as it would have.
#include <algorithm>
#include <exception>

#include "dc/base/errors.h"
#include "platform/os.h"
#include "session/download_worker.h"
#include "session/image_replay.h"
#include "store/dive_store.h"
#include "trace/trace.h"

namespace talvek {

namespace {

HeaderImage headerOf(const Driver& device) {
    HeaderImage h{};
    std::copy(device.header(), device.header() + HeaderImageSize, h.begin());
    return h;
}

}  // namespace

std::string DownloadWorker::storeDirectory() const {
    return request_.extras.storeDirectory.empty() ? platform::dataDirectory()
                                                  : request_.extras.storeDirectory;
}

bool DownloadWorker::startReplay() {
    const std::string& path = *request_.extras.imageFile;
    try {
        replay_ = std::make_unique<ImageReplay>(path, interfaces_);
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Image: Can't Read %s: %s", path.c_str(), e.what());
        finish("Can't Open Image File", 1);
        return false;
    }
    trace::write(trace::Info, "Image: Replaying %s (Device Type %d)", path.c_str(),
                 replay_->interfaceType());
    ports_ = &replay_->ports(request_.port);
    replay_->installClock();
    return true;
}

void DownloadWorker::endReplay() {
    if (replay_) replay_->restoreClock();
}

bool DownloadWorker::resumeFromStore() {
    const std::string directory = storeDirectory();
    if (directory.empty()) {
        trace::write(trace::Info, "NewDives: Full Download (no folder for the store)");
        return false;
    }
    const HeaderImage header = headerOf(*device_);
    const DataFamily family = deviceRow_->family;
    const std::string path = store::pathIn(directory, family, header);
    const store::LoadResult loaded = store::load(path);
    std::string why;
    if (loaded.status != store::LoadResult::Loaded) {
        why = loaded.why;
    } else if (!store::sameComputer(loaded.computer, family, header)) {
        why = "the store holds another computer";
    } else {
        const ResumeResult r = device_->resumeAfter(loaded.computer.dives);
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

void DownloadWorker::saveStore() {
    store::StoredComputer computer;
    computer.family = deviceRow_->family;
    computer.header = headerOf(*device_);
    computer.identity = store::identityOf(computer.family, computer.header);
    computer.dives = device_->rawDives();
    const std::string directory = storeDirectory();
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

void DownloadWorker::writeDump() {
    if (!request_.extras.dumpFile) return;
    const std::string& path = *request_.extras.dumpFile;
    if (!device_) {
        trace::write(trace::Info, "Dump: No Device, Nothing Written");
        return;
    }
    // The dump comes last: written over the output, the report or the image
    // just replayed (whose unread bytes it holds as 0xFF) it would destroy them.
    for (const std::string* other :
         {&request_.outputFile, request_.report ? &*request_.report : nullptr,
          request_.extras.imageFile ? &*request_.extras.imageFile : nullptr}) {
        if (other && namesSameFile(path, *other)) {
            trace::write(trace::Error, "Dump: %s Is Another File Of This Run", path.c_str());
            return;
        }
    }
    try {
        replay::saveImage(imageOf(*deviceRow_, *device_), path, interfaces_.imageShapes());
        trace::write(trace::Info, "Dump: Wrote %s", path.c_str());
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Dump: Can't Write %s (%s)", path.c_str(), e.what());
    }
}

}  // namespace talvek
