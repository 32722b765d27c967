#pragma once
// How often `what` occurs in `text`, overlapping occurrences included.
#include <string>

namespace talvek {

inline int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace talvek
