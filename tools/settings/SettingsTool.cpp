// quorvil-settings: reads and changes Quorvil's settings store from the command line, for
// users and scripts. Every command is one call of the store's operations.

#include <charconv>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "platform/ProgramError.h"
#include "settings/RegistrySupport.h"
#include "settings/VersionSupport.h"

namespace quorvil {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::ostream& out) {
  out << "Usage: quorvil-settings COMMAND [ARGUMENT...]\n"
         "Reads and changes Quorvil's settings in "
      << SettingsStorePath().string()
      << "\n\n"
         "Commands:\n"
         "  list [SUBKEY]                 the values of SUBKEY as NAME<tab>KIND<tab>VALUE;\n"
         "                                without SUBKEY, of every key, as\n"
         "                                SUBKEY<tab>NAME<tab>KIND<tab>VALUE\n"
         "  get SUBKEY NAME               the value NAME of SUBKEY\n"
         "  set-string SUBKEY NAME TEXT   stores TEXT as the string value NAME\n"
         "  set-integer SUBKEY NAME N     stores N (a 32-bit signed integer) as NAME\n"
         "  delete SUBKEY NAME            removes the value NAME of SUBKEY\n"
         "  keys                          every sub-key, one a line\n"
         "  --help                        this text\n"
         "  --version                     the program's version\n\n"
         "SUBKEY is a key below "
      << kProgramRootKey
      << " as the program writes it, for example \"\\Preferences\"\n"
         "or \"\\Favorites\". Key and value names are matched without regard to case.\n"
         "Exit status: 0 done, 1 the store failed or the key or value is missing, 2 bad usage.\n";
}

int Usage(const std::string& problem) {
  std::cerr << "quorvil-settings: " << problem << "\n"
            << "Try 'quorvil-settings --help'.\n";
  return kExitUsage;
}

// Writes "KIND<tab>VALUE" of one value.
void PrintValue(std::string_view subKey, const std::string& name) {
  if (GetRegistryValueKind(subKey, name) == TRegistryValueKind::rvkInteger) {
    std::cout << "integer\t" << ReadRegistryInteger(subKey, name, 0) << "\n";
  } else {
    std::cout << "string\t" << ReadRegistryString(subKey, name, "") << "\n";
  }
}

int List(const std::vector<std::string>& args) {
  if (args.size() == 2) {
    if (!RegistryKeyExists(args[1])) {
      std::cerr << "Key '" << args[1] << "' not found.\n";
      return kExitFailed;
    }
    std::vector<std::string> names;
    GetRegistryValueNames(args[1], names);
    for (const auto& name : names) {
      std::cout << name << "\t";
      PrintValue(args[1], name);
    }
    return kExitOk;
  }
  for (const auto& key : GetRegistrySubKeyNames()) {
    std::vector<std::string> names;
    GetRegistryValueNames(key, names);
    for (const auto& name : names) {
      std::cout << key << "\t" << name << "\t";
      PrintValue(key, name);
    }
  }
  return kExitOk;
}

int Get(const std::string& subKey, const std::string& name) {
  switch (GetRegistryValueKind(subKey, name)) {
    case TRegistryValueKind::rvkNone:
      std::cerr << "Value '" << name << "' not found in '" << subKey << "'.\n";
      return kExitFailed;
    case TRegistryValueKind::rvkInteger:
      std::cout << ReadRegistryInteger(subKey, name, 0) << "\n";
      return kExitOk;
    case TRegistryValueKind::rvkString:
      std::cout << ReadRegistryString(subKey, name, "") << "\n";
      return kExitOk;
  }
  return kExitFailed;
}

int Run(const std::vector<std::string>& args) {
  const std::string command = args.empty() ? "" : args[0];
  const auto expect = [&](size_t count) { return args.size() == count + 1; };
  if (command == "--help" && expect(0)) {
    PrintUsage(std::cout);
    return kExitOk;
  }
  if (command == "--version" && expect(0)) {
    std::cout << "quorvil-settings " << FileVersionToString(GetFileVersion("/proc/self/exe"))
              << "\n";
    return kExitOk;
  }
  if (command == "list" && (expect(0) || expect(1))) return List(args);
  if (command == "keys" && expect(0)) {
    for (const auto& key : GetRegistrySubKeyNames()) std::cout << key << "\n";
    return kExitOk;
  }
  if (command == "get" && expect(2)) return Get(args[1], args[2]);
  if (command == "set-string" && expect(3)) {
    WriteRegistryString(args[1], args[2], args[3]);
    return kExitOk;
  }
  if (command == "set-integer" && expect(3)) {
    const std::string& text = args[3];
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      return Usage("not a 32-bit integer: '" + text + "'");
    }
    WriteRegistryInteger(args[1], args[2], value);
    return kExitOk;
  }
  if (command == "delete" && expect(2)) {
    DeleteRegistryValue(args[1], args[2]);
    return kExitOk;
  }
  if (command.empty()) return Usage("no command given");
  for (const char* known :
       {"--help", "--version", "list", "keys", "get", "set-string", "set-integer", "delete"}) {
    if (command == known) return Usage("wrong number of arguments for '" + command + "'");
  }
  return Usage("unknown command '" + command + "'");
}

}  // namespace
}  // namespace quorvil

int main(int argc, char** argv) {
  try {
    return quorvil::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const quorvil::EQuorvilError& error) {
    // The store's own message, unchanged, so that scripts can match it.
    std::cerr << error.what() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    return 1;
  }
}
