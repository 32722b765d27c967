#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/file_replace.h"
#include "platform/temporary_name.h"

namespace talvek {

namespace platform {

bool systemRandomBytes(unsigned char* bytes, size_t n) {
    return getrandom(bytes, n, GRND_NONBLOCK) == static_cast<ssize_t>(n);
}

namespace {

// Directory part of `path` with its trailing slash ("" for a bare name).
std::string directoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string prefixFor(const std::string& path) {
    return temporaryPrefix(fileNameOf(path), false);
}

// Removes the temporaries of `path` that a killed run left: plain files of
// ours whose lock nobody holds any more.  A run that is still writing holds
// its lock, so its file stays.
void removeLeftTemporaries(const std::string& path) {
    const std::string dir = directoryOf(path);
    const std::string prefix = prefixFor(path);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name, prefix)) continue;
        const std::string name = dir + e->d_name;
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {};
        if (::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(name.c_str());
        ::close(fd);
    }
    ::closedir(d);
}

// Creates a new temporary file beside `path`, exclusively, and locks it for
// as long as it is open; its mode follows the umask like any file the
// program would create directly.
int createTemporary(const std::string& path, std::string& tempName) {
    const std::string lead = directoryOf(path) + prefixFor(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = lead + newTemporaryRandomChars();
        const int fd =
            ::open(tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        // Another run's clean-up may have taken the name between the open and
        // the lock: then the file has no name left, and another one is made.
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Gives the new file the old one's group (where allowed) and mode, when
// the old file is ours: a file someone else planted at the name in a shared
// folder must not choose who may read or change what we write.
void takeOldFilesMode(int fd, const std::string& path) {
    struct stat old {};
    if (::lstat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || old.st_uid != ::geteuid())
        return;
    // Only a member of the group (or the superuser) may give it; a refusal
    // leaves ours.
    const int grouped = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    static_cast<void>(grouped);
    ::fchmod(fd, old.st_mode & 0777);
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

ReplaceResult failed(ReplaceStage stage, int error) {
    ReplaceResult result;
    result.stage = stage;
    result.error = error;
    return result;
}

// The checks that need no file: an empty name or one that names a directory.
bool plainName(const std::string& path, ReplaceResult& result) {
    if (path.empty() || path.back() == '/') {
        result = failed(ReplaceStage::Create, path.empty() ? ENOENT : EISDIR);
        return false;
    }
    return true;
}

bool isSpecial(mode_t mode) {
    return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

bool isNullDevice(const struct stat& st) {
    struct stat null {};
    return S_ISCHR(st.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
           st.st_rdev == null.st_rdev;
}

// The bytes written into the null device as into any file; it is opened
// without waiting and checked on the open handle, so nothing else that took
// its name meanwhile gets them.
ReplaceResult writeIntoNullDevice(const std::string& path, const char* data, size_t n) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failed(ReplaceStage::Create, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !isNullDevice(st)) {
        ::close(fd);
        return failed(ReplaceStage::Special, EPERM);
    }
    const bool written = writeAll(fd, data, n);
    const int error = errno;
    ::close(fd);
    return written ? ReplaceResult{} : failed(ReplaceStage::Write, error);
}

}  // namespace

TargetKind targetKind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return TargetKind::Replaceable;
    // A link to a device, pipe or socket stands for it.
    if (S_ISLNK(st.st_mode) && (::stat(path.c_str(), &st) != 0 || !isSpecial(st.st_mode)))
        return TargetKind::Replaceable;
    if (!isSpecial(st.st_mode)) return TargetKind::Replaceable;
    return isNullDevice(st) ? TargetKind::NullDevice : TargetKind::Special;
}

ReplaceResult replaceFile(const std::string& path, const void* data, size_t n,
                          const std::atomic<bool>* cancel) {
    ReplaceResult result;
    if (!plainName(path, result)) return result;
    switch (targetKind(path)) {
        case TargetKind::Special:
            return failed(ReplaceStage::Special, EPERM);
        case TargetKind::NullDevice:
            if (cancel && cancel->load()) return failed(ReplaceStage::Cancelled, ECANCELED);
            return writeIntoNullDevice(path, static_cast<const char*>(data), n);
        case TargetKind::Replaceable:
            break;
    }
    removeLeftTemporaries(path);
    std::string tempName;
    const int fd = createTemporary(path, tempName);
    if (fd < 0) return failed(ReplaceStage::Create, errno);
    takeOldFilesMode(fd, path);
    const bool written = writeAll(fd, static_cast<const char*>(data), n) && ::fsync(fd) == 0;
    if (!written) {
        const int error = errno;
        ::unlink(tempName.c_str());
        ::close(fd);
        return failed(ReplaceStage::Write, error);
    }
    if (cancel && cancel->load()) {
        ::unlink(tempName.c_str());
        ::close(fd);
        return failed(ReplaceStage::Cancelled, ECANCELED);
    }
    // The lock is held until the file has its name: a clean-up by another
    // run never takes a file that is about to be renamed.
    if (::rename(tempName.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempName.c_str());
        ::close(fd);
        return failed(ReplaceStage::Rename, error);
    }
    // fsync has reported any write error the disk had; what close reports
    // now comes too late to change the outcome.
    ::close(fd);
    return result;
}

ReplaceResult checkReplaceable(const std::string& path) {
    ReplaceResult result;
    if (!plainName(path, result)) return result;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return failed(ReplaceStage::Rename, EISDIR);
    switch (targetKind(path)) {
        case TargetKind::Special:
            return failed(ReplaceStage::Special, EPERM);
        case TargetKind::NullDevice:
            return result;
        case TargetKind::Replaceable:
            break;
    }
    removeLeftTemporaries(path);
    std::string tempName;
    const int fd = createTemporary(path, tempName);
    if (fd < 0) return failed(ReplaceStage::Create, errno);
    ::unlink(tempName.c_str());
    ::close(fd);
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
