// Narrow text for the console. Internal to the layer.
#pragma once

#include <string>
#include <string_view>

namespace hovane::platform {

// Narrow text (system code page) as UTF-8 for the terminal.
std::string NarrowForConsole(std::string_view narrow);

}  // namespace hovane::platform
