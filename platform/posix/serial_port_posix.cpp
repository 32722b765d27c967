#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/os.h"
#include "platform/serial_port.h"

namespace talvek {

// Time-outs of a real port are measured on the monotonic system clock, not on
// the clock in force: the bytes of a real port arrive in real time, and a
// virtual clock (installed by tests that also use a pseudo-terminal) would
// never move while poll() waits.

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

bool speedFor(uint32_t baud, speed_t& speed) {
    switch (baud) {
        case 1200:
            speed = B1200;
            return true;
        case 2400:
            speed = B2400;
            return true;
        case 4800:
            speed = B4800;
            return true;
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        default:
            return false;
    }
}

constexpr tcflag_t RawInputOff =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK;
constexpr tcflag_t RawLocalOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

// True when `t` has the speed, character size and raw mode asked for.  A
// pseudo-terminal drops PARENB silently, so parity is not compared.
bool matchesRaw(const termios& t, speed_t speed) {
    speed_t in = cfgetispeed(&t);
    return cfgetospeed(&t) == speed && (in == speed || in == 0) && (t.c_cflag & CSIZE) == CS8 &&
           (t.c_lflag & RawLocalOff) == 0 && (t.c_iflag & RawInputOff) == 0 &&
           (t.c_oflag & OPOST) == 0;
}

bool sameSettings(const termios& a, const termios& b) {
    constexpr tcflag_t parity = PARENB | PARODD;
    return cfgetospeed(&a) == cfgetospeed(&b) && (a.c_cflag & ~parity) == (b.c_cflag & ~parity) &&
           a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag;
}

// Milliseconds left until `deadline`, rounded up so that poll() never wakes
// before it.
int remainingMs(SteadyClock::time_point deadline) {
    auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return 0;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    return static_cast<int>((us + 999) / 1000);
}

class PosixSerialPort : public SerialPort {
  public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    ~PosixSerialPort() override { close(); }

    bool saveState() override {
        if (!usable()) return false;
        if (tcgetattr(fd_, &saved_) != 0) return fail();
        haveSaved_ = true;
        return true;
    }

    bool applySettings(const SerialSettings& s) override {
        if (!usable()) return false;
        speed_t speed;
        if (!speedFor(s.baud, speed)) return fail(EINVAL);
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return fail();
        // DTR control and abort-on-error have no termios counterpart: the
        // device layer drives DTR itself, and errors never stop this port.
        t.c_iflag &= ~RawInputOff;  // parity is generated, never checked (no INPCK)
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~RawLocalOff;
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CRTSCTS
        t.c_cflag &= ~CRTSCTS;
#endif
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        if (s.oddParity) t.c_cflag |= PARENB | PARODD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return fail();
        if (tcsetattr(fd_, TCSANOW, &t) == 0) return true;
        int e = errno;
        // A pseudo-terminal cannot hold PARENB, and Linux answers EINVAL to a
        // call that then changes nothing more: accept what is in force when
        // it is what matters.
        termios back{};
        if (e == EINVAL && tcgetattr(fd_, &back) == 0 && matchesRaw(back, speed)) return true;
        return fail(e);
    }

    bool applyTimeouts(uint32_t readTimeoutMs, uint32_t writeTimeoutMs) override {
        if (!usable()) return false;
        readTimeoutMs_ = readTimeoutMs;
        writeTimeoutMs_ = writeTimeoutMs;
        return true;
    }

    bool restoreState() override {
        if (!usable()) return false;
        if (!haveSaved_) return fail(EINVAL);
        if (tcsetattr(fd_, TCSANOW, &saved_) == 0) return true;
        int e = errno;
        termios back{};
        if (e == EINVAL && tcgetattr(fd_, &back) == 0 && sameSettings(back, saved_)) return true;
        return fail(e);
    }

    long read(uint8_t* buf, size_t n) override {
        if (!usable()) return -1;
        size_t got = 0;
        bool hungUp = false;
        auto deadline = SteadyClock::now() + std::chrono::milliseconds(readTimeoutMs_);
        while (got < n) {
            // Take what is already there before looking at the clock, so a
            // zero time-out still returns waiting bytes.  In raw mode with
            // VMIN = VTIME = 0 an empty terminal reads as 0, not as EOF.
            ssize_t r = ::read(fd_, buf + got, n - got);
            if (r > 0) {
                got += static_cast<size_t>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return failCount(errno);
            if (hungUp) return failCount(EIO);  // the device went away
            int wait = remainingMs(deadline);
            if (wait == 0) break;
            pollfd p{fd_, POLLIN, 0};
            int pr = ::poll(&p, 1, wait);
            if (pr < 0 && errno != EINTR) return failCount(errno);
            if (pr > 0 && (p.revents & POLLNVAL)) return failCount(EBADF);
            // After a hang-up the terminal polls readable and reads empty:
            // one more read takes what is left, then the read fails.
            if (pr > 0 && (p.revents & (POLLHUP | POLLERR))) hungUp = true;
        }
        return static_cast<long>(got);
    }

    long write(const uint8_t* buf, size_t n) override {
        if (!usable()) return -1;
        size_t done = 0;
        auto deadline = SteadyClock::now() + std::chrono::milliseconds(writeTimeoutMs_);
        while (done < n) {
            ssize_t r = ::write(fd_, buf + done, n - done);
            if (r > 0) {
                done += static_cast<size_t>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return failCount(errno);
            int wait = remainingMs(deadline);
            if (wait == 0) break;
            pollfd p{fd_, POLLOUT, 0};
            int pr = ::poll(&p, 1, wait);
            if (pr < 0 && errno != EINTR) return failCount(errno);
            if (pr > 0 && (p.revents & POLLNVAL)) return failCount(EBADF);
        }
        return static_cast<long>(done);
    }

    bool drain() override {
        if (!usable()) return false;
        while (tcdrain(fd_) != 0) {
            if (errno != EINTR) return fail();
        }
        return true;
    }

    bool purge() override {
        if (!usable()) return false;
        if (tcflush(fd_, TCIOFLUSH) != 0) return fail();
        return true;
    }

    LineResult setRTS(bool on) override {
        return modemLine(TIOCM_RTS, on);
    }
    LineResult setDTR(bool on) override {
        return modemLine(TIOCM_DTR, on);
    }

    void close() override {
        if (fd_ < 0) return;
        // Give up exclusive use first: on a pseudo-terminal the flag outlives
        // the descriptor while the other side is open, and the next probe of
        // the same port by a normal user would get EBUSY.
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }

    const PortError& lastError() const override {
        return lastError_;
    }
    int id() const override {
        return fd_;
    }

  private:
    bool usable() {
        if (fd_ >= 0) return true;
        lastError_ = systemPortErrorInUse(EBADF);
        return false;
    }
    bool fail() {
        return fail(errno);
    }
    long failCount(int e) {
        lastError_ = systemPortErrorInUse(e);
        return -1;
    }
    bool fail(int e) {
        lastError_ = systemPortErrorInUse(e);
        return false;
    }

    LineResult modemLine(int bit, bool on) {
        if (!usable()) return LineResult::Failed;
        int bits = bit;
        if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return LineResult::Driven;
        const int e = errno;
        fail(e);
        // No modem lines (pseudo-terminal, USB gadget port): nothing to drive.
        return (e == ENOTTY || e == EINVAL) ? LineResult::NoModemLines : LineResult::Failed;
    }

    int fd_;
    termios saved_{};
    bool haveSaved_ = false;
    uint32_t readTimeoutMs_ = 1000;
    uint32_t writeTimeoutMs_ = 1000;
    PortError lastError_;
};

}  // namespace

PortError systemPortError(int number) {
    return PortError{errnoFault(number), number, number == 0 ? std::string() : errorText(number)};
}

PortError systemPortErrorInUse(int number) {
    PortError error = systemPortError(number);
    if (number == EIO || number == ENXIO || number == ENODEV) error.fault = PortFault::Gone;
    return error;
}

std::unique_ptr<SerialPort> openSerialPort(const std::string& path, PortError& error) {
    error = PortError{};
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = systemPortError(errno);
        return nullptr;
    }
    // The lock first: TIOCEXCL is a flag of the terminal, and clearing it
    // after a lost race would take it from the process that holds the port.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = systemPortError(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return nullptr;
    }
    // TIOCEXCL fails on a plain file (ENOTTY); the settings step reports that.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        error = systemPortError(errno);
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialPort>(fd);
}

}  // namespace platform

}  // namespace talvek
