// The command line: process arguments joined into the one option text, and
// that text scanned back.  Whatever is carried must read back as itself.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "session/command_line.h"
#include "session/transfer_settings.h"

using namespace talvek;

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> args = fuzz::arguments(data, size);
    std::string line;
    try {
        line = commandLineFromArgs(args);
    } catch (const UncarriableArgument&) {
        return 0;
    }
    if (ArgumentTokens(line)[0] != args[0]) __builtin_trap();

    // The program path gives no key; every option argument reads back.
    if (!CommandLine(commandLineFromArgs({args[0]})).values().empty()) __builtin_trap();
    const CommandLine scanned(line);
    std::vector<std::string> seen;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) continue;
        const size_t sep = a.find_first_of(":=", 1);
        const std::string key = lower(a.substr(1, sep == std::string::npos ? sep : sep - 1));
        const std::string value = sep == std::string::npos ? std::string() : a.substr(sep + 1);
        if (key.empty()) continue;
        bool first = true;
        for (const std::string& k : seen) first = first && k != key;
        seen.push_back(key);
        if (!first) continue;
        const char* got = scanned.valueOf(key);
        if (got == nullptr || value != got) __builtin_trap();  // not carried as it was
    }

    TransferSettings settings;
    try {
        settings.load(line);
    } catch (const ConversionError&) {
    }
    // The raw text as a command line of its own.
    TransferSettings raw;
    try {
        raw.load(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const ConversionError&) {
    }
    return 0;
}
