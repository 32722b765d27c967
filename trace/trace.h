#pragma once
// The process-wide trace log: time-stamped, level-tagged lines appended to one
// file, filtered by a threshold, opened lazily, reopened when the date
// changes, serialised across threads by a small spin lock.  It never reports
// a failure to its callers.  A new day opens a new file only where the
// name holds the date: a name without one stays open for the whole run.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/os.h"

// MinGW's C++ runtime formats as C99 says (%zu, %lld); its plain "printf"
// attribute would check against the older Windows runtime instead, so the
// checks follow the GNU formats there.
#ifdef _WIN32
#define TALVEK_PRINTF gnu_printf
#else
#define TALVEK_PRINTF printf
#endif

namespace talvek {

// The one global trace record.
struct TraceState {
    int file = -1;                      // open trace file, or -1
    std::atomic<int32_t> threshold{0};  // highest level written; 0 writes nothing
    std::atomic<uint32_t> owner{0};     // lock word: thread inside the facility
    uint32_t namingMode = 0;            // file-name pattern
    char* baseName = nullptr;           // owned; null until SetFile
    bool baseNameSet = false;
    platform::LocalTime openedAt{};  // when the current file was opened
    std::string openedName;          // and its name
    ~TraceState();
};

namespace trace {

enum Level { Error = 1, Info = 2, Debug = 3, Detail = 4 };

// Closes the current file and sets the base name (file name without
// extension) and naming mode; the next line opens the new file.
void setFile(const char* baseName, unsigned char namingMode);
// Threshold: lines of a higher level are dropped; 0 (or less) writes nothing.
void setLevel(int level);
// Writes one line (printf rules); never throws.
void write(int level, const char* format, ...) __attribute__((format(TALVEK_PRINTF, 2, 3)));

// The name the next opened file will get (for tests and diagnostics).
std::string fileNameFor(const platform::LocalTime& t);

// Replaces the source of local time (tests); an empty function restores it.
void setTimeSource(std::function<platform::LocalTime()> source);

// Closes the file and forgets the configuration (program end, tests).
void shutdown();

}  // namespace trace

}  // namespace talvek
