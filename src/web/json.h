#pragma once
// The little JSON the station's API writes: quoted strings and numbers.
// Text from files and settings is 8-bit; bytes that are not valid UTF-8 are
// taken as Latin-1, so that the answer is always valid JSON.

#include <string>
#include <string_view>

namespace tw::web {

// `text` as a JSON string, quotes included.
std::string json_string(std::string_view text);
// A number as JSON: shortest round-trip form; "null" for NaN and infinity.
std::string json_number(double value);

}  // namespace tw::web
