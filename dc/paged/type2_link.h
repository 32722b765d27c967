#pragma once
// The link of the second interface generation: a half-duplex line that
// echoes every byte sent, RTS low while transmitting.
#include "dc/paged/paged_link.h"
#include "trace/trace.h"

namespace talvek {

struct Type2LinkTraits {
    static constexpr uint32_t ReadTimeoutMs = 1100;
    // DTR control off in the port settings (the line is raised after
    // opening all the same), abort on error on.
    static constexpr bool DtrControl = false;
    static constexpr bool AbortOnError = true;
    static constexpr bool RtsHighToSend = false;
    static constexpr uint32_t TurnaroundMs = 16;

    // Every byte sent comes back before the reply; Talk reads it and drops it.
    static constexpr bool Echoes = true;
    static constexpr bool CancelCheckBeforeListen = true;
    // A failed reply read puts the line back to receive first.
    static constexpr bool ReceiveAfterFailedRead = true;

    static constexpr LinkFailure ReadFailed{trace::Error, "Listen(): Read Timed Out",
                                            ErrorCode::TimedOut, nullptr};
    static constexpr LinkFailure NoReply{0, nullptr, ErrorCode::TimedOut,
                                         "Listen: Serial Port Timed Out"};
    static constexpr LinkFailure BadChecksum{0, nullptr, ErrorCode::Checksum, nullptr};
    static constexpr const char* PartialReadTrace =
        "DeviceType2_Com::Listen(): Partial data read %d bytes of %d";
    static constexpr const char* ErrorTrace = "DeviceType2_Com::Communicate(): Error  code = %u";
    static constexpr const char* RetryTrace = nullptr;
};

using Type2Link = PagedLink<Type2LinkTraits>;

}  // namespace talvek
