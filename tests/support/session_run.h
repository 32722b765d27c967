#pragma once
// One run of talvek-dl's session in process: the command line the program
// would get, the real drivers and writers, ports through the given opener,
// on the clock in force (a test's VirtualClock).  The download time in the
// root "tstamp" is fixed, so that documents of different runs compare byte
// for byte.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory_port.h"
#include "platform/serial_port.h"
#include "replay/computer_image.h"
#include "replay/memory_computer.h"
#include "session/command_line.h"
#include "session/session.h"
#include "support/scratch_dir.h"
#include "trace/trace.h"

namespace talvek {

namespace session_run {

inline void writeAtFixedTime(const DiveSet& dives, const OutputChoice& choice,
                             const DocumentStamp& stamp, XmlDocument& document,
                             const char* driverName) {
    DocumentStamp fixed = stamp;
    fixed.time.year = 2024;
    fixed.time.month = 5;
    fixed.time.day = 17;
    fixed.time.dayOfWeek = 5;
    fixed.time.hour = 10;
    fixed.time.minute = 20;
    fixed.time.second = 30;
    writeDocument(dives, choice, fixed, document, driverName);
}

struct Result {
    int code = -1;
    bool written = false;
    std::string document;               // the output file, when written
    std::vector<std::string> statuses;  // every status text, in order
    std::string trace;                  // the trace file
    // Every percentage shown, with the number of status texts shown before it.
    std::vector<std::pair<size_t, int>> percents;

    std::string lastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
    // The percentages shown from status text `from` until status text
    // `until` (or the end) shows.
    std::vector<int> percentsBetween(const std::string& from, const std::string& until) const {
        std::vector<int> out;
        const auto first = std::find(statuses.begin(), statuses.end(), from);
        const auto last = std::find(first, statuses.end(), until);
        const size_t begin = static_cast<size_t>(first - statuses.begin()) + 1;
        const size_t end = static_cast<size_t>(last - statuses.begin()) + 1;
        for (const auto& [shown, percent] : percents)
            if (first != statuses.end() && shown >= begin && shown < end) out.push_back(percent);
        return out;
    }
};

// `args` follow the program name; the output file is `output` and the trace
// goes to `traceBase`.txt, both options added here.  With `cancelAt`, the
// run is cancelled (as by the Cancel button) when that status text shows.
// `interfaces` replace the program's table of interface types when given.
inline Result run(const std::vector<std::string>& args, platform::SerialOpener* ports,
                  const std::string& output, const std::string& traceBase,
                  const std::string& cancelAt = std::string(),
                  std::optional<InterfaceTable> interfaces = std::nullopt) {
    struct TraceOff {
        ~TraceOff() { trace::shutdown(); }
    } traceOff;
    struct Sink : SessionSink {
        void statusText(const std::string& text) override {
            texts.push_back(text);
            if (session && text == cancelAt) session->cancel();
        }
        void progress(int percent) override { percents.emplace_back(texts.size(), percent); }
        std::vector<std::string> texts;
        std::vector<std::pair<size_t, int>> percents;
        std::string cancelAt;
        Session* session = nullptr;
    } sink;
    sink.cancelAt = cancelAt;

    std::vector<std::string> all = {"talvek-dl", "-f=" + output, "-cdblog=" + traceBase};
    all.insert(all.end(), args.begin(), args.end());
    SessionSetup setup;
    setup.ports = ports;
    setup.writer = writeAtFixedTime;
    setup.interfaces = std::move(interfaces);
    Result r;
    {
        Session session(commandLineFromArgs(all), sink, std::move(setup));
        sink.session = &session;
        session.start();
        session.run();
        r.code = session.close();
    }
    trace::shutdown();
    r.statuses = sink.texts;
    r.percents = sink.percents;
    // Only a plain file is read back: a test may name a FIFO or a device.
    r.written = std::filesystem::is_regular_file(output);
    if (r.written) r.document = ScratchDir::read(output);
    r.trace = ScratchDir::read(traceBase + ".txt");
    return r;
}

// The stored image of the golden computer of interface `type`.
inline std::string goldenImage(int type) {
    return std::string(TALVEK_SOURCE_DIR) + "/tests/golden/type" + std::to_string(type) + ".img";
}

// run() with `image` answering on an in-memory port, "-p=DC" first.
inline Result online(const replay::ComputerImage& image, std::vector<std::string> args,
                     const std::string& output, const std::string& traceBase) {
    replay::MemoryComputer computer(image);
    platform::MemoryPortRegistry ports;
    ports.add("DC", &computer);
    args.insert(args.begin(), "-p=DC");
    return run(args, &ports, output, traceBase);
}

}  // namespace session_run

}  // namespace talvek
