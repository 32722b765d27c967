#pragma once
// The thin operating-system layer for everything except the serial port:
// local time, thread and process ids, plain files, the program's own path.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvek {

namespace platform {

// Local date and time, as the trace log stamps its lines.
struct LocalTime {
    int year = 0, month = 0, dayOfWeek = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime localTime();

// Id of the calling thread (the kernel's thread id) and of the process.
uint32_t threadId();
uint32_t processId();

// The last system error number of the calling thread (errno).
int lastError();
// Text of a system error number.
std::string errorText(int error);

// A file written line by line without buffering (the trace log).
// Creates or truncates; other processes may read it while it is open.
// Returns -1 when the file cannot be created (errno is kept).
//
// The name may lie in a directory others can write to, so only a plain file
// of our own is ever opened there: neither a link at the name nor a link in
// place of its folder is followed (on Windows: a reparse point is refused),
// and a name that turns out not to be a regular file with a single name (a
// pipe, a device, a directory, a second name of another file) is refused
// before anything is truncated or written.
int createTextFile(const char* name);
// One write call; returns the byte count written or -1.
long writeFile(int fd, const void* data, size_t n);
void closeFile(int fd);

// Path of the running executable.
std::string ownExecutablePath();

// The process's own command line as one text (UTF-8), where the system keeps
// one (Windows); nothing where a program only gets its arguments one by one.
// A part the text cannot carry (UTF-16 with an unpaired surrogate: no UTF-8
// name reaches that file) is named in `uncarried`, the blank-separated word
// that holds it with U+FFFD in place of what was lost; the text must then
// not be used.
struct CommandLineText {
    std::string text;
    std::string uncarried;
};
std::optional<CommandLineText> systemCommandLine();

// The conventions the program's defaults follow on a system.
struct SystemConventions {
    const char* defaultOutputFile;  // the output file when no option names one
    char pathSeparator;             // between the program's name and its trace file
    bool fullExitCodes;             // the process returns the whole 32-bit result code
};
// This system's; the other two are there so that either can be tested anywhere.
const SystemConventions& systemConventions();
extern const SystemConventions PosixConventions;
extern const SystemConventions WindowsConventions;

// What reading a whole file found.
enum class ReadOutcome {
    Read,      // `bytes` holds the file
    Missing,   // nothing at the name (nor a folder on the way to it)
    NotAFile,  // a pipe, a device, a socket or a folder
    TooLarge,  // longer than the reader's bound
    Failed,    // the system refused (see `error`)
};
struct FileRead {
    ReadOutcome outcome = ReadOutcome::Failed;
    int error = 0;  // the system error number (Missing, Failed)
    bool ok() const { return outcome == ReadOutcome::Read; }
};
// Reads the plain file `path` (a link to one is followed) into `bytes`,
// when it holds at most `maxBytes` bytes; otherwise `bytes` is empty.  The
// name is opened without waiting and its type checked on the open handle, so
// a pipe or a device planted at the name neither holds the call nor feeds
// it without end; at most `maxBytes` + 1 bytes are ever read.
FileRead readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes);
// Creates the directory `path` and any missing parents (new ones readable by
// the user only); returns 0 when it exists afterwards, or the error number.
int makeDirectories(const std::string& path);

// The folder in which the program keeps data between runs (the dive store),
// with a trailing separator: $XDG_DATA_HOME/talvek-dl/ (by default
// ~/.local/share/talvek-dl/) on Linux, the folder "Talvek/XML Downloader"
// under %LOCALAPPDATA% on Windows.  Empty when the system names no such
// place.
std::string dataDirectory();

}  // namespace platform

}  // namespace talvek
