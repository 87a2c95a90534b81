// Printing JSON on standard output. Text from a document need not be valid UTF-8; bytes that
// are not become U+FFFD rather than failing the command.
#pragma once

#include <nlohmann/json.hpp>

namespace Tessaline {

void printJson(const nlohmann::ordered_json& value);

} // namespace Tessaline
