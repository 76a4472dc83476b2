// Internal to the platform layer: DOS attribute bits from a stat record.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string_view>

namespace plat {

// name is the last path component; a leading "." makes the entry hidden.
uint32_t AttrFromStat(const struct stat& st, std::string_view name);

}  // namespace plat
