// How the registry store lays keys and values out on disk: key names as
// directory names, and the values of a key as lines of its values file.
// Internal to the registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registrydetail {

inline constexpr char kValuesFile[] = ".values";

std::string encodeKeyName(std::string_view name);
std::string decodeKeyName(std::string_view name);

struct Value {
    std::string name;
    uint32_t type = 0;
    std::string data;
};

std::string formatValues(const std::vector<Value>& values);
bool parseValueLine(std::string_view line, Value& v);
// A line that cannot be parsed is skipped rather than failing the whole key:
// the other values stay usable.
std::vector<Value> readValues(const std::string& keyDir);
bool writeValues(const std::string& keyDir, const std::vector<Value>& values);

}  // namespace platform::registrydetail
