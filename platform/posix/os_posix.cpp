#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/bounded_read.h"
#include "platform/os.h"

namespace talvek {

namespace platform {

LocalTime localTime() {
    struct timeval tv {};
    gettimeofday(&tv, nullptr);
    struct tm tm {};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.dayOfWeek = tm.tm_wday;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(tv.tv_usec / 1000);
    return t;
}

uint32_t threadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}
uint32_t processId() {
    return static_cast<uint32_t>(getpid());
}

int lastError() {
    return errno;
}

std::string errorText(int error) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(error, buf, sizeof buf);
    return text ? std::string(text) : std::string();
}

int createTextFile(const char* name) {
    // The folder is opened first, and not through a link: one planted in
    // its place would lead the file into a folder of someone else's choice.
    // The file is then made inside the folder that was opened.
    const std::string path = name ? name : "";
    const std::string::size_type slash = path.rfind('/');
    int folder = AT_FDCWD;
    if (slash != std::string::npos) {
        const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
        folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0) return -1;
    }
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    // O_NONBLOCK: a pipe planted at the name would otherwise hold the open
    // until someone reads it.  O_TRUNC waits until the file is known to be ours.
    const int fd = ::openat(folder, file.c_str(),
                            O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    const int openError = errno;
    if (folder != AT_FDCWD) ::close(folder);
    if (fd < 0) {
        errno = openError;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    if (::ftruncate(fd, 0) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

long writeFile(int fd, const void* data, size_t n) {
    return static_cast<long>(::write(fd, data, n));
}

void closeFile(int fd) {
    if (fd >= 0) ::close(fd);
}

std::string ownExecutablePath() {
    return "/proc/self/exe";
}

std::optional<CommandLineText> systemCommandLine() {
    return std::nullopt;  // main() gets the arguments one by one
}

const SystemConventions& systemConventions() {
    return PosixConventions;
}

FileRead readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes) {
    bytes.clear();
    FileRead result;
    // O_NONBLOCK: a FIFO without a writer would hold the open for good.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        result.outcome = errno == ENOENT || errno == ENOTDIR ? ReadOutcome::Missing
                         : errno == ENXIO                    ? ReadOutcome::NotAFile
                                                             : ReadOutcome::Failed;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        result.outcome = ReadOutcome::NotAFile;
    } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        result.outcome = ReadOutcome::TooLarge;
    } else {
        bytes.reserve(static_cast<size_t>(st.st_size));
        result = readBounded(
            [fd](uint8_t* buf, size_t size, int& error) -> long {
                for (;;) {
                    const ssize_t n = ::read(fd, buf, size);
                    if (n >= 0 || errno != EINTR) {
                        error = n < 0 ? errno : 0;
                        return static_cast<long>(n);
                    }
                }
            },
            bytes, maxBytes);
    }
    ::close(fd);
    return result;
}

int makeDirectories(const std::string& path) {
    if (path.empty()) return ENOENT;
    // Each prefix that ends before a separator, then the whole path.
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        if (at == std::string::npos) break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace platform

}  // namespace talvek
