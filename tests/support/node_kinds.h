#pragma once
// Special files planted in a scratch folder, as a hostile user (or root's
// own mistake) puts them at a name the program reads or writes: a FIFO
// (always possible), a socket, and device nodes (only root may make them;
// without root the case is skipped, saying so).  POSIX only.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace talvek {

namespace special_files {

// The kinds a test plants.
enum class Kind { Fifo, Socket, NullNode, ZeroNode };

inline const char* nameOf(Kind k) {
    switch (k) {
        case Kind::Fifo:
            return "a FIFO";
        case Kind::Socket:
            return "a socket";
        case Kind::NullNode:
            return "a node of the null device";
        case Kind::ZeroNode:
            return "a node of the zero device";
    }
    return "";
}

inline bool needsRoot(Kind k) {
    return k == Kind::NullNode || k == Kind::ZeroNode;
}

inline bool canMake(Kind k) {
    return !needsRoot(k) || geteuid() == 0;
}

// Makes `k` at `path`; false when it could not be made.  A socket is bound
// and its descriptor left open for the test's lifetime (a closed socket's
// name stays a socket all the same).
inline bool make(Kind k, const std::string& path) {
    switch (k) {
        case Kind::Fifo:
            return mkfifo(path.c_str(), 0666) == 0;
        case Kind::Socket: {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            if (path.size() >= sizeof address.sun_path) return false;
            std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            return fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        }
        case Kind::NullNode:
            return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        case Kind::ZeroNode:
            return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0;
    }
    return false;
}

// Whether `path` is still of kind `k` (not replaced by a regular file).
inline bool still(Kind k, const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return false;
    switch (k) {
        case Kind::Fifo:
            return S_ISFIFO(st.st_mode);
        case Kind::Socket:
            return S_ISSOCK(st.st_mode);
        case Kind::NullNode:
            return S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 3);
        case Kind::ZeroNode:
            return S_ISCHR(st.st_mode) && st.st_rdev == makedev(1, 5);
    }
    return false;
}

}  // namespace special_files

}  // namespace talvek
