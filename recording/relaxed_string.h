#pragma once
// Reads a string field of the shared settings record that the user-interface thread may
// rewrite meanwhile (the settings dialog writes the whole record back).
#include <cstddef>
#include <string>

#include "platform/relaxed.h"

namespace vidora {

template <std::size_t N>
std::string loadRelaxedString(const char (&field)[N]) {
    std::string s;
    for (std::size_t i = 0; i < N; ++i) {
        char c = loadRelaxed(field[i]);
        if (c == '\0')
            break;
        s.push_back(c);
    }
    return s;
}

}  // namespace vidora
