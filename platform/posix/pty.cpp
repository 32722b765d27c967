#include "platform/posix/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/clock.h"

namespace talvek {

namespace platform {
namespace {

bool setRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

volatile std::sig_atomic_t stopFlag = 0;

void onStopSignal(int) {
    stopFlag = 1;
}

}  // namespace

PtyMaster::~PtyMaster() {
    close();
}

std::unique_ptr<PtyMaster> PtyMaster::open(int& error) {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0 ||
        !setRaw(fd)) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<PtyMaster> p(new PtyMaster);
    p->fd_ = fd;
    p->slavePath_ = name;
    return p;
}

long PtyMaster::read(uint8_t* buf, size_t n, int timeoutMs, bool& hungUp) {
    hungUp = false;
    if (fd_ < 0) {
        error_ = EBADF;
        return -1;
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, std::max(timeoutMs, 0));
    if (r < 0) {
        if (errno == EINTR) return 0;
        error_ = errno;
        return -1;
    }
    if (r == 0) return 0;
    if (p.revents & POLLIN) {
        const ssize_t k = ::read(fd_, buf, n);
        if (k >= 0) return static_cast<long>(k);
        if (errno == EAGAIN || errno == EINTR) return 0;
        if (errno != EIO) {
            error_ = errno;
            return -1;
        }
    }
    // With no slave open the master reports a hang-up (or EIO) until a host
    // opens the slave again.
    hungUp = true;
    return 0;
}

long PtyMaster::write(const uint8_t* data, size_t n) {
    if (fd_ < 0) {
        error_ = EBADF;
        return -1;
    }
    const ssize_t k = ::write(fd_, data, n);
    if (k >= 0) return static_cast<long>(k);
    if (errno == EAGAIN || errno == EINTR) return 0;
    error_ = errno;
    return -1;
}

bool PtyMaster::makeRaw() {
    // Only the translating flags: a host's time-out settings (VMIN, VTIME)
    // and its speed stay as it set them.
    termios t{};
    if (fd_ < 0 || tcgetattr(fd_, &t) != 0) return false;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    return tcsetattr(fd_, TCSANOW, &t) == 0;
}

void PtyMaster::discard() {
    if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

void PtyMaster::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

RawTerminal::~RawTerminal() {
    close();
}

std::unique_ptr<RawTerminal> RawTerminal::open(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (!setRaw(fd)) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<RawTerminal> t(new RawTerminal);
    t->fd_ = fd;
    return t;
}

long RawTerminal::read(uint8_t* buf, size_t n, int timeoutMs) {
    if (fd_ < 0) return -1;
    size_t got = 0;
    const uint64_t deadline = nowMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
    while (got < n) {
        const ssize_t k = ::read(fd_, buf + got, n - got);
        if (k > 0) {
            got += static_cast<size_t>(k);
            continue;
        }
        if (k < 0 && errno != EAGAIN && errno != EINTR) return got ? static_cast<long>(got) : -1;
        const uint64_t now = nowMs();
        if (now >= deadline) break;
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<uint64_t>(deadline - now, 10)));
    }
    return static_cast<long>(got);
}

long RawTerminal::write(const uint8_t* data, size_t n) {
    if (fd_ < 0) return -1;
    size_t put = 0;
    while (put < n) {
        const ssize_t k = ::write(fd_, data + put, n - put);
        if (k > 0) {
            put += static_cast<size_t>(k);
        } else if (k < 0 && errno != EAGAIN && errno != EINTR) {
            return -1;
        } else {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
    return static_cast<long>(n);
}

void RawTerminal::flushInput() {
    if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
}

void RawTerminal::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool createSymlink(const std::string& target, const std::string& link, int& error) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = EEXIST;
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}

void installStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool stopRequested() {
    return stopFlag != 0;
}

}  // namespace platform

}  // namespace talvek
