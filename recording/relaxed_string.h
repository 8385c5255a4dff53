#pragma once
// Reads a string field of the shared settings record that the user-interface thread may rewrite
// meanwhile (the settings dialog writes the whole record back): the whole old or the whole new
// value, never a mix of both (see app/live_config.h).
#include <cstddef>
#include <string>

#include "app/live_config.h"

namespace vidora {

template <std::size_t N>
std::string loadRelaxedString(const char (&field)[N]) {
    return loadConfigString(field);
}

}  // namespace vidora
