#pragma once
// Interface type 2: the paged driver over the echoing link.
#include <cstdint>

#include "dc/paged/paged_driver.h"
#include "dc/paged/type2_link.h"
#include "trace/trace.h"

namespace talvek {

struct Type2DriverTraits {
    using Link = Type2Link;
    static constexpr DataFamily Family = DataFamily::Family2;
    static constexpr int32_t MemoryTop = 0x7FFE;

    static constexpr paged::Texts MemoryTexts{
        "Device_Type2::Read() Bad Read Command",
        "Device_Type2::Read() Memory Overrun Last Address = 0x%X",
        "Device_Type2::Read() User Cancel Detected",
        "Device_Type2::Write() User Cancel Detected",
        nullptr,
    };
    // Level 1 when a block exchange fails; the detail line (level 4, count
    // and address) may be null.
    static constexpr const char* BlockReadFailed = "Device_TypeD::Read(): Exception Raised";
    static constexpr const char* BlockReadDetail = nullptr;
    static constexpr const char* BlockWriteFailed = "Device_TypeD::Write(): Exception Raised";
    static constexpr const char* BlockWriteDetail = nullptr;

    // The identity read: a level 4 line before it (may be null), the line
    // and pause of a failure, a level 4 line with the model after it (may be
    // null).
    static constexpr const char* IdentityStart = nullptr;
    static constexpr int IdentityFailedLevel = trace::Detail;
    static constexpr const char* IdentityFailed = "Device_TypeD::getheader(): Exception Caught";
    static constexpr uint32_t IdentityFailedPauseMs = 500;
    static constexpr const char* IdentityRead = nullptr;

    static constexpr const char* OpenCancelled = "Device_Type2::Open() User Cancel Detected";
    static constexpr const char* NotFound = "Device Type2 Not Found";
};

using Type2Driver = PagedDriver<Type2DriverTraits>;

}  // namespace talvek
