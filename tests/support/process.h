#pragma once
// Child processes for the end-to-end tests: started with pipes on standard
// output and error, optionally as another user, waited for with a time limit.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace talvek {

namespace e2e {

class Process {
  public:
    struct Options {
        std::string workingDirectory;
        std::vector<std::string> unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY",
                                                     "QT_QPA_PLATFORM"};
        int uid = -1;            // run as this user (and group) when >= 0
        int standardError = -1;  // when >= 0: this descriptor (a terminal) instead of a pipe
    };

    Process(const std::vector<std::string>& argv, const Options& options) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(options.standardError >= 0 ? options.standardError : err[1], 2);
            for (const std::string& name : options.unsetEnvironment) unsetenv(name.c_str());
            if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)
                _exit(126);
            if (options.uid >= 0) {
                if (setgroups(0, nullptr) != 0 || setgid(options.uid) != 0 ||
                    setuid(options.uid) != 0)
                    _exit(126);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // One line of standard output, without its line end; empty on time-out.
    std::string ReadLine(int timeoutMs) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::string::size_type nl = outText_.find('\n');
            if (nl != std::string::npos) {
                std::string line = outText_.substr(0, nl);
                outText_.erase(0, nl + 1);
                return line;
            }
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            until - std::chrono::steady_clock::now())
                                            .count());
            if (left <= 0 || !ReadSome(out_, outText_, left)) return std::string();
        }
    }

    void Signal(int sig) {
        if (pid_ > 0 && status_ < 0) kill(pid_, sig);
    }

    // Waits for the end; returns the exit status (128 + n for a signal), or
    // -1 when the time limit passed (the process is then killed).
    int Wait(int timeoutMs) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (status_ < 0) {
            Drain();
            SampleHighWater();
            int raw = 0;
            pid_t r = waitpid(pid_, &raw, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                break;
            }
            if (std::chrono::steady_clock::now() > until) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                status_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Drain();
        return status_;
    }

    // The process's peak resident memory in KB, as the system kept it
    // (VmHWM) while Wait() watched it.  It is the program's own: unlike the
    // rusage of the child, it does not count the test process the child
    // was forked from.
    long PeakKilobytes() const { return peakKilobytes_; }

    // Whether the running process has a handler for `sig` (its SigCgt mask).
    bool Catches(int sig) const {
        const std::string mask = StatusField("SigCgt:");
        return !mask.empty() && ((std::stoull(mask, nullptr, 16) >> (sig - 1)) & 1u);
    }

    const std::string& StandardError() const { return errText_; }
    const std::string& StandardOutput() const { return outText_; }

  private:
    // A field of /proc/<pid>/status, empty when there is none (an ended
    // process has no memory fields).
    std::string StatusField(const std::string& name) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(name, 0) == 0) return line.substr(name.size());
        return std::string();
    }
    static std::string LinkOf(const std::string& path) {
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
    }
    void SampleHighWater() {
        // Until the program is exec'd the child is a copy of this test.
        if (LinkOf("/proc/" + std::to_string(pid_) + "/exe") == LinkOf("/proc/self/exe")) return;
        const std::string kb = StatusField("VmHWM:");
        if (!kb.empty()) peakKilobytes_ = std::max(peakKilobytes_, std::stol(kb));
    }
    static bool ReadSome(int fd, std::string& into, int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        into.append(buf, static_cast<size_t>(n));
        return true;
    }
    void Drain() {
        while (ReadSome(err_, errText_, 0)) {
        }
        while (ReadSome(out_, outText_, 0)) {
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int status_ = -1;
    long peakKilobytes_ = 0;
    std::string outText_;
    std::string errText_;
};

}  // namespace e2e

}  // namespace talvek
