#pragma once
// Shared by the worker and session tests: fake drivers with scripted
// behaviour, a sink that records what the worker shows, the trace read back as messages, and a
// scratch directory.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dc/base/driver.h"
#include "dc/base/errors.h"
#include "session/download_worker.h"
#include "support/scratch_dir.h"
#include "trace/trace.h"

namespace talvek {

namespace worker_test {

using talvek::ScratchDir;

// What one fake interface type does.  Each hook may throw.
struct FakePlan {
    std::function<void()> construct;               // in the driver's constructor
    std::function<void()> open;                    // default: not present
    std::function<void()> header;                  // in ReadHeader
    int dives = 0;                                 // NextDive returns true this often
    std::function<void(unsigned n)> dive;          // in each NextDive call
    std::function<void(XmlDocument&)> makeOutput;  // building the document
};

// Everything the fakes did, in order ("construct 1", "open 2", ...).
using CallLog = std::vector<std::string>;

class FakeDevice : public Driver {
  public:
    FakeDevice(int type, const FakePlan& plan, const CancelFlag* cancel, CallLog& log)
        : Driver(type == 1   ? DataFamily::Family1
                 : type == 2 ? DataFamily::Family2
                             : DataFamily::Family3,
                 0x7FFE, cancel),
          type_(type),
          plan_(plan),
          log_(log) {
        log_.push_back("construct " + std::to_string(type_));
        if (plan_.construct) plan_.construct();
    }
    ~FakeDevice() override { log_.push_back("destroy " + std::to_string(type_)); }

    int read(uint32_t, int, uint8_t*, bool) override { return 0; }
    int write(uint32_t, int, const uint8_t*, bool) override { return 0; }
    int command(int, const uint8_t*, int, uint8_t*) override { return 0; }
    void open(int attempts) override {
        log_.push_back("open " + std::to_string(type_) + " x" + std::to_string(attempts));
        if (!plan_.open) throw DeviceNotPresent("The Interface Was Not Detected");
        plan_.open();
        showStatus("Comm Opened Successfully!");
        prepare();
    }
    void prepare() override { dives_.clear(); }
    void readHeader() override {
        log_.push_back("header");
        if (plan_.header) plan_.header();
    }
    bool nextDive() override {
        ++calls_;
        log_.push_back("dive " + std::to_string(calls_));
        if (plan_.dive) plan_.dive(calls_);
        if (static_cast<int>(calls_) > plan_.dives) return false;
        progress_.reset(plan_.dives);
        progress_.advance(static_cast<int>(calls_));
        return true;
    }

    static std::string hex(uint32_t v) {
        std::ostringstream s;
        s << std::hex << std::uppercase << v;
        return s.str();
    }

  private:
    int type_;
    FakePlan plan_;
    CallLog& log_;
    unsigned calls_ = 0;
};

struct FakeComputers {
    FakePlan type1, type2, type3;
    CallLog log;

    // The program's interface types with fake drivers.
    InterfaceTable table() {
        InterfaceTable t = standardInterfaces();
        std::vector<InterfaceRow> rows = t.rows();
        for (InterfaceRow& row : rows) {
            const int type = row.number;
            FakePlan& plan = type == 1 ? type1 : type == 2 ? type2 : type3;
            row.makeDriver = [this, type, &plan](const std::string&, const CancelFlag* c,
                                                 platform::SerialOpener&) {
                return std::unique_ptr<Driver>(new FakeDevice(type, plan, c, log));
            };
        }
        return InterfaceTable(std::move(rows));
    }
    DownloadWorker::Parts parts() { return {table(), nullptr, writer()}; }

    // The document writer: logs the output choice and runs the found
    // type's hook.
    DownloadWorker::DocumentWriter writer() {
        return [this](const DiveSet& dives, const OutputChoice& choice, const DocumentStamp&,
                      XmlDocument& document, const char*) {
            log.push_back("output " + describe(choice));
            const FakePlan& plan = dives.family == DataFamily::Family1   ? type1
                                   : dives.family == DataFamily::Family2 ? type2
                                                                         : type3;
            if (plan.makeOutput) plan.makeOutput(document);
        };
    }

    // "dcdml metric indent" and the like.
    static std::string describe(const OutputChoice& c) {
        const char* layouts[] = {"legacy", "dcdml", "uddf", "unknown"};
        std::string s = layouts[static_cast<int>(c.layout)];
        s += c.units == UnitSystem::Metric       ? " metric"
             : c.units == UnitSystem::Scientific ? " scientific"
                                                 : " imperial";
        if (c.fullEndTags) s += " tags";
        if (c.indent) s += " indent";
        return s;
    }
};

class RecordingSink : public SessionSink {
  public:
    void statusText(const std::string& text) override { texts.push_back(text); }
    void progress(int percent) override { percents.push_back(percent); }
    void finished(int code) override { finishes.push_back(code); }
    std::vector<std::string> texts;
    std::vector<int> percents;
    std::vector<int> finishes;
};

inline bool fileExists(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(name, ec);
}

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of the trace file `name` as level name and message
// ("  Info:: Version = ..."), without time stamp and thread id.
inline std::vector<std::string> traceLines(const std::string& name) {
    std::vector<std::string> out;
    std::istringstream in(readFile(name));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string::size_type at = line.find(":: ");
        out.push_back(at == std::string::npos || at < 6 ? line : line.substr(at - 6));
    }
    return out;
}

// The messages alone, without the level names.
inline std::vector<std::string> traceMessages(const std::string& name) {
    std::vector<std::string> out;
    for (const std::string& l : traceLines(name)) out.push_back(l.size() >= 9 ? l.substr(9) : l);
    return out;
}

// Sends the trace to a file in `dir` at every level; messages() reads back
// the message part of each line ("  Info:: " and what follows it).
class TraceCapture {
  public:
    explicit TraceCapture(const std::string& dir) : base_(dir + "/trace") {
        trace::setFile(base_.c_str(), 0);
        trace::setLevel(4);
    }
    ~TraceCapture() { trace::shutdown(); }
    std::vector<std::string> lines() const { return traceLines(base_ + ".txt"); }
    std::vector<std::string> messages() const { return traceMessages(base_ + ".txt"); }

  private:
    std::string base_;
};

}  // namespace worker_test

}  // namespace talvek
