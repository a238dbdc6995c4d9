#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvil {

// The per-user settings store: keys below the program root key, each holding named 32-bit
// integer and string values. Sub-key paths begin with a backslash ("\Preferences") and are
// taken below the program root key. Key paths and value names are compared without regard to
// case and keep the case they were first written with.
//
// Every call opens the store, does its one read or write and closes it again, so several
// running copies of the program see each other's changes; concurrent writers wait for each
// other and the last write wins. Reads never create anything.
inline constexpr std::string_view kProgramRootKey = "\\Software\\Quorvil";

bool RegistryValueExists(std::string_view subKey, std::string_view name);
bool RegistryKeyExists(std::string_view subKey);
int32_t ReadRegistryInteger(std::string_view subKey, std::string_view name, int32_t defaultValue);
void WriteRegistryInteger(std::string_view subKey, std::string_view name, int32_t value);
std::string ReadRegistryString(std::string_view subKey, std::string_view name,
                               std::string_view defaultValue);
void WriteRegistryString(std::string_view subKey, std::string_view name, std::string_view text);
// Empties the list, then fills it with the key's value names in creation order.
void GetRegistryValueNames(std::string_view subKey, std::vector<std::string>& list);
void DeleteRegistryValue(std::string_view subKey, std::string_view name);

// For the settings tool: the kind of a value, rvkNone when it or its key is missing.
enum class TRegistryValueKind { rvkNone, rvkInteger, rvkString };
TRegistryValueKind GetRegistryValueKind(std::string_view subKey, std::string_view name);

// For the settings tool: every key below the program root key, as a sub-key path
// ("\Preferences"), parents before their children.
std::vector<std::string> GetRegistrySubKeyNames();

// $XDG_CONFIG_HOME/Quorvil/settings.db, or ~/.config/Quorvil/settings.db when the variable
// is unset, empty or not an absolute path.
std::filesystem::path SettingsStorePath();

}  // namespace quorvil
