#pragma once
// The link of the third interface generation: no echo, RTS high while
// transmitting, long read time-out.
#include "dc/paged/paged_link.h"
#include "trace/trace.h"

namespace talvek {

struct Type3LinkTraits {
    static constexpr uint32_t ReadTimeoutMs = 4400;
    static constexpr bool DtrControl = true;
    static constexpr bool AbortOnError = false;
    static constexpr bool RtsHighToSend = true;
    static constexpr uint32_t TurnaroundMs = 15;

    // Talk waits until the port has sent the frame instead of reading an echo.
    static constexpr bool Echoes = false;
    // One cancel check per attempt, before Talk.
    static constexpr bool CancelCheckBeforeListen = false;
    static constexpr bool ReceiveAfterFailedRead = false;

    static constexpr LinkFailure ReadFailed{trace::Debug,
                                            "DeviceType3_Com::Listen(): Serial Port Error",
                                            ErrorCode::ReadFailed, "Listen: Serial Port Read"};
    static constexpr LinkFailure NoReply{trace::Debug,
                                         "DeviceType3_Com::Listen(): Serial Port Timed Out",
                                         ErrorCode::TimedOut, "Listen: Serial Port Timed Out"};
    static constexpr LinkFailure BadChecksum{trace::Error,
                                             "DeviceType3_Com::Listen(): Checksum Error",
                                             ErrorCode::Checksum, "Listen: Bad Checksum"};
    static constexpr const char* PartialReadTrace =
        "DeviceType3_Com::Listen(): Partial data read %d bytes of %d";
    static constexpr const char* ErrorTrace = "DeviceType3_Com::Communicate(): Errorcode = %u";
    static constexpr const char* RetryTrace = "DeviceType3_Com::Communicate(): Retry";
};

using Type3Link = PagedLink<Type3LinkTraits>;

}  // namespace talvek
