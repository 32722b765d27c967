#pragma once
// A whole download of a stored simulator image in process: the session with
// the real drivers on the virtual clock and an in-memory port.
#include <stdexcept>
#include <string>

#include "output/writer_table.h"
#include "platform/clock.h"
#include "session/command_line.h"
#include "session/session.h"
#include "sim/computer.h"
#include "sim/memory_computer.h"
#include "sim/memory_port.h"
#include "support/scratch_dir.h"
#include "trace/trace.h"

namespace talvek {

// The one function that knows how the program is put together: serves the
// image on an in-memory port and runs a session with the command line
// `options` and the real drivers on the virtual clock, and returns the bytes
// it wrote to the output file.  The download time in the root "tstamp" is
// fixed so that the documents are reproducible.  Throws when the download
// does not succeed.
inline std::string DownloadDocument(const std::string& imagePath, const std::string& options) {
    // The session names the program as the program does: by its own version
    // block.  Only the time is replaced.
    auto atFixedTime = [](const DiveSet& dives, uint32_t options, const DocumentStamp& stamp,
                          XmlDocument& document) {
        DocumentStamp fixed = stamp;
        fixed.time.year = 2024;
        fixed.time.month = 5;
        fixed.time.day = 17;
        fixed.time.dayOfWeek = 5;
        fixed.time.hour = 10;
        fixed.time.minute = 20;
        fixed.time.second = 30;
        writeDocument(dives, options, fixed, document);
    };
    struct TraceOff {
        ~TraceOff() { trace::shutdown(); }
    } traceOff;
    struct Sink : SessionSink {
        void statusText(const std::string& text) override { last = text; }
        void progress(int) override {}
        std::string last;
    } sink;

    platform::VirtualClock clock(1000);
    platform::ScopedClock scoped(clock);
    sim::MemoryComputer computer(sim::loadImage(imagePath));
    platform::MemoryPortRegistry ports;
    ports.add("GOLDEN", &computer);
    ScratchDir dir;

    const std::string output = dir.file("out.xml");
    SessionSetup setup;
    setup.ports = &ports;
    setup.writer = atFixedTime;
    Session session(commandLineFromArgs({"talvek-dl", "-p=GOLDEN", "-f=" + output,
                                         "-cdblog=" + dir.file("trace")}) +
                        " " + options,
                    sink, std::move(setup));
    session.start();
    session.run();
    const int code = session.close();
    if (code != 0)
        throw std::runtime_error("download ended with code " + std::to_string(code) + " (\"" +
                                 sink.last + "\")");
    if (!ScratchDir::exists(output)) throw std::runtime_error("no output file " + output);
    return ScratchDir::read(output);
}

}  // namespace talvek
