#pragma once
// A whole download of a stored simulator image in process: the session with
// the real drivers on the virtual clock and an in-memory port.
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "replay/computer_image.h"
#include "sim/memory_computer.h"
#include "support/scratch_dir.h"
#include "support/session_run.h"

namespace talvek {

// The one function that knows how the program is put together: serves
// `image` on an in-memory port and runs a session with the command line
// `options` (blank-separated, no quotes) and the real drivers on the virtual
// clock, and returns the bytes it wrote to the output file.  The download
// time in the root "tstamp" is fixed so that the documents are
// reproducible; the program is named as the program does, by its own
// version block.  Throws when the download does not succeed.
inline std::string DownloadDocument(const replay::ComputerImage& image,
                                    const std::string& options) {
    platform::VirtualClock clock(1000);
    platform::ScopedClock scoped(clock);
    sim::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("GOLDEN", &computer);
    ScratchDir dir;

    std::vector<std::string> args = {"-p=GOLDEN"};
    for (size_t at = 0; at < options.size();) {
        const size_t blank = options.find(' ', at);
        const size_t n = (blank == std::string::npos ? options.size() : blank) - at;
        if (n) args.push_back(options.substr(at, n));
        at += n + 1;
    }
    const session_run::Result r =
        session_run::run(args, &ports, dir.file("out.xml"), dir.file("trace"));
    if (r.code != 0)
        throw std::runtime_error("download ended with code " + std::to_string(r.code) + " (\"" +
                                 r.lastStatus() + "\")");
    if (!r.written) throw std::runtime_error("no output file");
    return r.document;
}

// The same for an image kept in a file.
inline std::string DownloadDocument(const std::string& imagePath, const std::string& options) {
    return DownloadDocument(replay::loadImage(imagePath), options);
}

}  // namespace talvek
