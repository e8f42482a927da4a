#pragma once
// A picture drawn in memory as PNG bytes, for the station page.

#include "platform/canvas.h"

#include <optional>
#include <string>

namespace tw::platform {

// nullopt when the canvas is not one of Qt's or cannot be encoded.
std::optional<std::string> png_bytes(const Canvas& picture);

}  // namespace tw::platform
