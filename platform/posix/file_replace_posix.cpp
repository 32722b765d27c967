#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/file_replace.h"

namespace talvek {

namespace platform {
namespace {

std::atomic<unsigned> counter{0};

// Directory part of `path` with its trailing slash ("" for a bare name).
std::string directoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new, exclusive temporary file beside `path`; its mode follows the
// umask like any file the program would create directly.
int createTemporary(const std::string& path, std::string& tempName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%u.%u.tmp", static_cast<unsigned>(getpid()),
                      counter.fetch_add(1));
        tempName = directoryOf(path) + "." + fileNameOf(path) + suffix;
        int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) {
            errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

ReplaceResult replaceFile(const std::string& path, const void* data, size_t n) {
    ReplaceResult result;
    if (path.empty() || path.back() == '/') {
        result.stage = ReplaceStage::Create;
        result.error = path.empty() ? ENOENT : EISDIR;
        return result;
    }
    std::string tempName;
    int fd = createTemporary(path, tempName);
    if (fd < 0) {
        result.stage = ReplaceStage::Create;
        result.error = errno;
        return result;
    }
    bool written = writeAll(fd, static_cast<const char*>(data), n) && ::fsync(fd) == 0;
    int error = errno;
    // close() reports delayed write errors of some file systems.
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        ::unlink(tempName.c_str());
        result.stage = ReplaceStage::Write;
        result.error = error;
        return result;
    }
    if (::rename(tempName.c_str(), path.c_str()) != 0) {
        result.stage = ReplaceStage::Rename;
        result.error = errno;
        ::unlink(tempName.c_str());
        return result;
    }
    return result;
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace platform

}  // namespace talvek
