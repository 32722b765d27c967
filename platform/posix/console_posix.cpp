#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iterator>

#include "platform/console.h"

namespace talvek {

namespace platform {
namespace {

int pipeFds[2] = {-1, -1};
// Every signal that would end the run outright: an interrupt, a kill, a
// closed terminal (SIGHUP), a quit from the keyboard.  Each ends it as the
// Cancel button does instead, so the port's settings go back and the trace
// gets its last line.
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previous[std::size(StopSignals)]{};

extern "C" void onTerminationSignal(int signal) {
    int saved = errno;
    char byte = static_cast<char>(signal);
    // A full pipe already says "stop"; nothing else is safe to do here.
    ssize_t ignored = ::write(pipeFds[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

}  // namespace

bool isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

namespace {

void writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t n = text.size();
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

}  // namespace

void writeStandardError(const std::string& text) {
    writeAll(STDERR_FILENO, text);
}

void writeStandardOutput(const std::string& text) {
    writeAll(STDOUT_FILENO, text);
}

int terminationSignalFd() {
    if (pipeFds[0] >= 0) return pipeFds[0];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(StopSignals); ++i)
        ::sigaction(StopSignals[i], &sa, &previous[i]);
    return pipeFds[0];
}

int drainTerminationSignals() {
    if (pipeFds[0] < 0) return 0;
    int last = 0;
    char buf[64];
    for (;;) {
        ssize_t r = ::read(pipeFds[0], buf, sizeof buf);
        if (r > 0) {
            last = static_cast<unsigned char>(buf[r - 1]);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        return last;
    }
}

void restoreTerminationSignals() {
    if (pipeFds[0] < 0) return;
    for (size_t i = 0; i < std::size(StopSignals); ++i)
        ::sigaction(StopSignals[i], &previous[i], nullptr);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

}  // namespace platform

}  // namespace talvek
