#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace showsaver::registry {

enum class Hive { CurrentUser, LocalMachine, ClassesRoot };

// A registry value: text (REG_SZ) or a 32-bit number (REG_DWORD).
using Value = std::variant<std::string, uint32_t>;

// "HKEY_CURRENT_USER" and so on; empty for a value outside the enum.
std::string_view RootName(Hive hive);
// "user.reg" and so on; empty for a value outside the enum.
std::string_view FileName(Hive hive);

}
