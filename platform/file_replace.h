#pragma once
// Writing a whole file so that its name never shows a partial result: the
// bytes go to a temporary file in the same directory, which is flushed to disk
// and then renamed over the name.  An older file of that name survives any
// failure, and no temporary file is left behind.
//
// Temporary files are named ".tlvk-" + 8 hex digits derived from the output's
// file name + "-" + 6 random characters (21 bytes, whatever the name's
// length), created exclusively and locked while they are written.  One that
// is left by a killed run (its lock went with the process) is removed by the
// next replacement of the same name; files of other users, files in use by a
// running program and anything that is not a plain file are never touched.
#include <atomic>
#include <cstddef>
#include <string>

namespace talvek {

namespace platform {

// Where a replaceFile call failed.
enum class ReplaceStage {
    None,       // it did not fail
    Create,     // the temporary file could not be created (missing directory, no rights)
    Write,      // writing, flushing or closing failed (a full disk)
    Rename,     // the finished file could not take the name (the name is a directory)
    Cancelled,  // the cancel flag was set before the file took the name
    Special,    // the name is a pipe, a socket or a device: never replaced
};

// What stands at a name that is to be written.  A link counts as what it
// leads to when that is a device, a pipe or a socket (a link to anything
// else, or to nothing, is replaced itself).
enum class TargetKind {
    Replaceable,  // nothing, a plain file, a folder (refused later) or a link
    NullDevice,   // the system's null device: written straight into, never replaced
    Special,      // a pipe, a socket or any other device: never written at all
};
TargetKind targetKind(const std::string& path);

struct ReplaceResult {
    ReplaceStage stage = ReplaceStage::None;
    int error = 0;  // system error number of the failure
    bool ok() const { return stage == ReplaceStage::None; }
};

// Replaces the file `path` by one holding exactly `n` bytes from `data`.
// The new file takes the old one's permission bits, and its group where the
// system allows it, when the old file is the caller's own (one that another
// user planted in a shared folder passes nothing on).  A special target is
// never renamed over: the null device gets the bytes written straight into
// it, anything else is refused (Special).
//
// `cancel`, when given, is tested once more right before the rename: when
// set, the temporary file is removed and the result is Cancelled, the older
// file untouched.  A cancel that comes after that test (a window of one
// system call) is too late: the file then has its name, and the run has
// succeeded.
ReplaceResult replaceFile(const std::string& path, const void* data, size_t n,
                          const std::atomic<bool>* cancel = nullptr);

// Whether replaceFile could write `path`: the name is no directory and no
// special file other than the null device, and the temporary file can be
// created beside it (it is created and removed again).  Failures are
// reported as replaceFile reports them.
ReplaceResult checkReplaceable(const std::string& path);

// Whether `path` names an existing file system entry.
bool pathExists(const std::string& path);

// Whether the two paths name the same existing file (also through links or
// other spellings of the path).
bool sameFile(const std::string& a, const std::string& b);

}  // namespace platform

}  // namespace talvek
