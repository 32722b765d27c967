// The parts of the download worker that serve -new, -store, -dump and
// -image.  Each of them only adds to a download: a store or dump that
// cannot be written is traced and the run ends as it would have.
#include <algorithm>
#include <exception>

#include "dc/base/errors.h"
#include "platform/file_replace.h"
#include "platform/os.h"
#include "replay/computer_image.h"
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

replay::InterfaceType interfaceOf(int32_t family) {
    return family == 1   ? replay::InterfaceType::Type1
           : family == 2 ? replay::InterfaceType::Type2
                         : replay::InterfaceType::Type3;
}

// What the driver read, as the image of a computer that answers the same.
replay::ComputerImage imageOf(const Driver& device) {
    const ReadCapture& read = device.capture();
    replay::ComputerImage image = replay::ComputerImage::blank(interfaceOf(device.familyCode()));
    std::fill(image.memory.begin(), image.memory.end(), 0xFF);
    const size_t n = std::min(image.memory.size(), read.bytes().size());
    std::copy(read.bytes().begin(), read.bytes().begin() + static_cast<std::ptrdiff_t>(n),
              image.memory.begin());
    if (read.hasIdentity()) {
        image.identity = read.identityBytes();
    } else if (image.type == replay::InterfaceType::Type1) {
        // A type 1 computer tells its model and firmware in its memory.
        image.identity = {image.memory[0x24], image.memory[0x25], 0, 0};
    }
    if (image.type == replay::InterfaceType::Type1) image.diveStreams = read.streams();
    return image;
}

}  // namespace

std::string DownloadWorker::storeDirectory() const {
    return extras_.storeDirectory.empty() ? platform::dataDirectory() : extras_.storeDirectory;
}

bool DownloadWorker::startReplay() {
    const std::string& path = *extras_.imageFile;
    try {
        replay_ = std::make_unique<ImageReplay>(path);
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Image: Can't Read %s: %s", path.c_str(), e.what());
        finish("Can't Open Image File", 1);
        return false;
    }
    trace::write(trace::Info, "Image: Replaying %s (Device Type %d)", path.c_str(),
                 replay_->interfaceType());
    drivers_ = replay_->drivers(portName_);
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
    const int32_t family = device_->familyCode();
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
    computer.family = device_->familyCode();
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

void DownloadWorker::writeDump(bool succeeded) {
    if (!extras_.dumpFile) return;
    const std::string& path = *extras_.dumpFile;
    if (!device_) {
        trace::write(trace::Info, "Dump: No Device, Nothing Written");
        return;
    }
    // Before its header a computer is no more than bytes never read (0xFF).
    if (!headerRead_) {
        trace::write(trace::Info, "Dump: No Header Read, Nothing Written");
        return;
    }
    // What a failed run read helps a report, but only where it replaces
    // nothing: an older dump may be the good one.
    if (!succeeded && platform::pathExists(path)) {
        trace::write(trace::Info, "Dump: %s Kept (The Run Did Not Succeed)", path.c_str());
        return;
    }
    // The dump comes last: written over the output, the report or the image
    // just replayed (whose unread bytes it holds as 0xFF) it would destroy them.
    for (const std::string* other : {&outputFile_, reportRequested_ ? &reportFile_ : nullptr,
                                     extras_.imageFile ? &*extras_.imageFile : nullptr}) {
        if (other && namesSameFile(path, *other)) {
            trace::write(trace::Error, "Dump: %s Is Another File Of This Run", path.c_str());
            return;
        }
    }
    try {
        replay::saveImage(imageOf(*device_), path);
        trace::write(trace::Info, "Dump: Wrote %s", path.c_str());
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Dump: Can't Write %s (%s)", path.c_str(), e.what());
    }
}

}  // namespace talvek
