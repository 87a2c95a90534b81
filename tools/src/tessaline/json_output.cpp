#include "json_output.h"

#include <iostream>

namespace Tessaline {

void printJson(const nlohmann::ordered_json& value)
{
    std::cout << value.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

} // namespace Tessaline
