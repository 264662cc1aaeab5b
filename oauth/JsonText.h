// The text of a string field in a provider's or the token file's JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace oauth {

// "" when the field is absent or not a string.
inline std::string jsonText(const nlohmann::json& j, const char* name) {
    const auto it = j.find(name);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace oauth
