#include "trace/trace.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace talvek {

namespace {

TraceState helper;

const char* const LevelNames[] = {"", " Error", "  Info", " Debug", "Detail"};

// Guards the time source; set only by tests.
std::mutex sourceMutex;
std::function<platform::LocalTime()> timeSource;

platform::LocalTime now() {
    std::lock_guard<std::mutex> g(sourceMutex);
    return timeSource ? timeSource() : platform::localTime();
}

class Lock {
  public:
    Lock() : me_(platform::threadId()) {
        for (;;) {
            uint32_t expected = 0;
            if (helper.owner.load() == me_) break;
            if (helper.owner.compare_exchange_strong(expected, me_)) break;
            // Lock back-off, not protocol timing: always real time.
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~Lock() {
        uint32_t expected = me_;
        helper.owner.compare_exchange_strong(expected, 0);
    }

  private:
    uint32_t me_;
};

void closeFile() {
    if (helper.file >= 0) {
        platform::closeFile(helper.file);
        helper.file = -1;
    }
}

void openFile() {
    platform::LocalTime t = now();
    std::string name = trace::fileNameFor(t);
    if (name.empty()) return;
    int fd = platform::createTextFile(name.c_str());
    if (fd >= 0) {
        helper.file = fd;
        helper.openedAt = t;
        helper.openedName = name;
    }
}

}  // namespace

TraceState::~TraceState() {
    if (file >= 0) platform::closeFile(file);
    std::free(baseName);
}

namespace trace {

std::string fileNameFor(const platform::LocalTime& t) {
    const char* base = helper.baseNameSet ? (helper.baseName ? helper.baseName : "") : "Trace";
    char name[1024];
    int n;
    switch (helper.namingMode) {
        case 1:
            n = std::snprintf(name, sizeof name, "%s_%04d%02d%02d.txt", base, t.year, t.month,
                              t.day);
            break;
        case 3:
            n = std::snprintf(name, sizeof name, "%s_%04d%02d%02d_%02d%02d%02d.txt", base, t.year,
                              t.month, t.day, t.hour, t.minute, t.second);
            break;
        case 4:
            n = std::snprintf(name, sizeof name, "%s_%04d%02d%02d_%02d%02d%02d_%X.txt", base,
                              t.year, t.month, t.day, t.hour, t.minute, t.second,
                              platform::processId());
            break;
        default:
            n = std::snprintf(name, sizeof name, "%s.txt", base);
            break;
    }
    // A name that does not fit the 1024-byte buffer is not created at all
    // (a cut name could land on an unrelated file).
    if (n < 0 || static_cast<size_t>(n) >= sizeof name) return std::string();
    return std::string(name);
}

void setFile(const char* baseName, unsigned char namingMode) {
    Lock lock;
    closeFile();
    std::free(helper.baseName);
    const char* src = baseName ? baseName : "";
    size_t len = std::strlen(src);
    helper.baseName = static_cast<char*>(std::malloc(len + 1));
    if (helper.baseName) std::memcpy(helper.baseName, src, len + 1);
    helper.baseNameSet = true;
    helper.namingMode = namingMode;
}

void setLevel(int level) {
    Lock lock;
    helper.threshold = level > 0 ? level : 0;
}

void write(int level, const char* format, ...) {
    int32_t threshold = helper.threshold.load(std::memory_order_relaxed);
    if (threshold == 0 || threshold < level || !format) return;
    try {
        Lock lock;
        platform::LocalTime t = now();
        if (helper.file < 0) {
            openFile();
        } else if (t.year != helper.openedAt.year || t.month != helper.openedAt.month ||
                   t.day != helper.openedAt.day) {
            // Opened anew under the same name, the file would lose what the
            // run has written so far (its version, command line and probes).
            if (trace::fileNameFor(t) != helper.openedName) {
                closeFile();
                openFile();
            } else {
                helper.openedAt = t;
            }
        }
        if (helper.file < 0) return;

        static thread_local char line[16436];
        const char* levelName = (level >= 0 && level <= 4) ? LevelNames[level] : "";
        int prefix =
            std::snprintf(line, sizeof line, "%02d:%02d:%02d_%03d_%X: %s:: ", t.hour, t.minute,
                          t.second, t.millisecond, platform::threadId(), levelName);
        if (prefix < 0 || static_cast<size_t>(prefix) >= sizeof line - 2) return;
        // At most 16383 message characters; a longer message is cut there.  The
        // room left after an unusually long prefix bounds it as well.
        size_t room = sizeof line - static_cast<size_t>(prefix) - 2;
        if (room > 16384) room = 16384;
        va_list args;
        va_start(args, format);
        int msg = std::vsnprintf(line + prefix, room, format, args);
        va_end(args);
        if (msg < 0) return;
        size_t len = static_cast<size_t>(prefix) +
                     (static_cast<size_t>(msg) >= room ? room - 1 : static_cast<size_t>(msg));
        line[len++] = '\r';
        line[len++] = '\n';
        platform::writeFile(helper.file, line, len);
    } catch (...) {
        // Tracing never fails towards its caller.
    }
}

void setTimeSource(std::function<platform::LocalTime()> source) {
    std::lock_guard<std::mutex> g(sourceMutex);
    timeSource = std::move(source);
}

void shutdown() {
    Lock lock;
    closeFile();
    std::free(helper.baseName);
    helper.baseName = nullptr;
    helper.baseNameSet = false;
    helper.namingMode = 0;
    helper.threshold = 0;
}

}  // namespace trace

}  // namespace talvek
