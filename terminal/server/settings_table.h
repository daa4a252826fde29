// The terminal's settings: defaults, then config/terminal.ini of its data
// folder, then the command line, each overriding the one before. Both
// sources use the same keys ("--idle-exit 5" is "idle_exit=5" in the file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/base/ini.h"
#include "terminal/base/settings.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal {

struct CommandLine {
  std::vector<std::pair<std::string, std::string>> settings;  // key, value
  std::string data_dir;                                       // UTF-8; empty: the registered data folder
  bool register_only = false;
  bool portable = false;
  bool help = false;
};

// argv without the program name. False with a message for an unknown option
// or a missing value; values are checked later by ApplySetting.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

// One key of the [Terminal] section or of the command line.
bool ApplySetting(Settings* settings, std::string_view key, std::string_view value, std::string* error);

// The settings file's text: [Terminal] keys, [Account <login>] and
// [Symbol <name>] sections; accounts in the file replace the built-in ones.
// False, with `*settings` unchanged and a message naming the line, key and
// value, at the first line or value it cannot take whole.
bool ApplyIni(Settings* settings, std::string_view text, std::string* error);

// The symbols of these settings (market::BuildSymbols): false with a message
// naming the line of terminal.ini and the key.
bool ConfiguredSymbols(const Settings& settings, std::vector<market::SymbolSpec>* symbols, std::string* error);

// What no single key can say: a stepped clock needs a set clock that does
// not run by itself; a history names symbols that exist. False with a
// message naming the keys.
bool CheckSettings(const Settings& settings, std::string* error);

// The settings of a start: `ini_text` (config/terminal.ini), then the
// command line, then what the keys say together (CheckSettings). A value the
// file cannot give whole stops the start: half a setting is worse than none.
bool LoadSettings(const CommandLine& command, std::string_view ini_text, Settings* settings, std::string* error);

// The file written into a new data folder: every key with its default.
std::string DefaultIniText();

// The help: every option and settings key with its default.
std::string Usage();

}  // namespace vl5::terminal
