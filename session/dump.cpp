#include "session/dump.h"

#include <algorithm>
#include <exception>
#include <string>

#include "platform/file_replace.h"
#include "trace/trace.h"

namespace talvek {

replay::ComputerImage imageOf(const InterfaceRow& row, const Driver& driver) {
    const ReadCapture& read = driver.capture();
    replay::ComputerImage image;
    image.type = static_cast<replay::InterfaceType>(row.number);
    image.memory.assign(row.image.memorySize, 0xFF);
    const size_t n = std::min(image.memory.size(), read.bytes().size());
    std::copy(read.bytes().begin(), read.bytes().begin() + static_cast<std::ptrdiff_t>(n),
              image.memory.begin());
    if (read.hasIdentity())
        image.identity = read.identityBytes();
    else if (row.identityInMemory)
        image.identity = row.identityInMemory(image.memory);
    if (row.image.streamsDives) image.diveStreams = read.streams();
    return image;
}

void writeDump(const Request& request, const DumpSource& source, const InterfaceTable& interfaces) {
    if (!request.extras.dumpFile) return;
    const std::string& path = *request.extras.dumpFile;
    if (!source.device || !source.row) {
        trace::write(trace::Info, "Dump: No Device, Nothing Written");
        return;
    }
    if (!source.headerRead) {
        trace::write(trace::Info, "Dump: No Header Read, Nothing Written");
        return;
    }
    if (!source.succeeded && platform::pathExists(path)) {
        trace::write(trace::Info, "Dump: %s Kept (The Run Did Not Succeed)", path.c_str());
        return;
    }
    // The dump comes last: written over the output, the report or the image
    // just replayed (whose unread bytes it holds as 0xFF) it would destroy them.
    for (const std::string* other :
         {&request.outputFile, request.report ? &*request.report : nullptr,
          request.extras.imageFile ? &*request.extras.imageFile : nullptr}) {
        if (other && namesOneFile(path, *other)) {
            trace::write(trace::Error, "Dump: %s Is Another File Of This Run", path.c_str());
            return;
        }
    }
    try {
        replay::saveImage(imageOf(*source.row, *source.device), path, interfaces.imageShapes());
        trace::write(trace::Info, "Dump: Wrote %s", path.c_str());
    } catch (const std::exception& e) {
        trace::write(trace::Error, "Dump: Can't Write %s (%s)", path.c_str(), e.what());
    }
}

}  // namespace talvek
