// Test text in UTF-16LE.
#pragma once

#include <string>

namespace testing_text {

// ASCII or Latin-1 text as UTF-16LE, one unit per character.
inline std::string wide(const std::string& s)
{
    std::string w;
    for (char c : s) {
        w += c;
        w += '\0';
    }
    return w;
}

}  // namespace testing_text
