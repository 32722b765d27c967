#pragma once
// Interface type 3: the paged driver over the non-echoing link.  The memory
// ends lower than type 2's, and the traces say more.
#include <cstdint>

#include "dc/paged/paged_driver.h"
#include "dc/paged/type3_link.h"
#include "trace/trace.h"

namespace talvek {

// The members mean what they mean in Type2DriverTraits.
struct Type3DriverTraits {
    using Link = Type3Link;
    static constexpr DataFamily Family = DataFamily::Family3;
    static constexpr int32_t MemoryTop = 0x7FF7;

    static constexpr paged::Texts MemoryTexts{
        "Device_Type3::Read() Bad Read Command",
        "Device_Type3::Read() Memory Overrun Last Address = 0x%X",
        "Device_Type3::Read() User Cancel Detected",
        "Device_Type3::Write() User Cancel Detected",
        "Device_Type3::Read() Large Read",
    };
    static constexpr const char* BlockReadFailed = "Device_TypeC2V2::Read(): Exception Raised";
    static constexpr const char* BlockReadDetail =
        "Device_TypeC2V2::Read(): %d bytes at address 0x%x";
    static constexpr const char* BlockWriteFailed = "Device_TypeC2V2::Write(): Exception Raised";
    static constexpr const char* BlockWriteDetail =
        "Device_TypeC2V2::Write():  %u bytes at address %u";

    static constexpr const char* IdentityStart = "Header Fetch";
    static constexpr int IdentityFailedLevel = trace::Error;
    static constexpr const char* IdentityFailed = "Device_TypeC2V2::getheader(): Exception Caught";
    static constexpr uint32_t IdentityFailedPauseMs = 0;
    static constexpr const char* IdentityRead = "Device_TypeC2V2::Device ID = %x";

    static constexpr const char* OpenCancelled = "Device_Type3::Open() User Cancel Detected";
    static constexpr const char* NotFound = "Device Type3 Not Found";
};

using Type3Driver = PagedDriver<Type3DriverTraits>;

}  // namespace talvek
