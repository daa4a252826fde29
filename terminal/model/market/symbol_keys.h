// The keys of a [Symbol <name>] section of the settings file: named after the
// symbol_info fields they set, plus the price model of a symbol without a
// history. One table reads, checks and describes them; the catalog
// (catalog.h) applies a section to a built-in symbol or to a new one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/base/settings.h"
#include "terminal/model/market/symbol_spec.h"

namespace vl5::terminal::market {

// Why a section cannot be taken: its line and a message naming the key.
struct SymbolProblem {
  int line = 0;
  std::string message;
};

// A symbol name as a section header or a history list writes it, trimmed
// and upper-cased. It names a folder of the history folder, so it must be one
// plain file name on every system: 1 to 29 letters, digits, '.', '_' or '-',
// starting with a letter or digit, not ending in '.', no device name such as
// CON or LPT1. False for anything else.
bool ParseSymbolName(std::string_view text, std::u16string* name);

// The kind a section gives a new symbol (its trade_calc_mode). False with a
// problem when the key is missing or names no kind the terminal calculates.
bool SectionKind(const SymbolConfig& section, std::uint32_t* calc_mode, SymbolProblem* problem);

// Sets what the section's keys say on `spec`, then checks what they say
// together (volume_min <= volume_max, prices that fit the digits). False with
// the first problem; `spec` is then half changed and to be dropped.
bool ApplySymbolKeys(const SymbolConfig& section, SymbolSpec* spec, SymbolProblem* problem);

// Profits and margins of the section's `spec` can be valued in the account
// currency (USD): each of its currencies is USD or has a USD<XXX> or
// <XXX>USD symbol among `all`. False with a problem naming the key.
bool CheckCurrencies(const SymbolConfig& section, const SymbolSpec& spec, const std::vector<SymbolSpec>& all,
                     SymbolProblem* problem);

// The line of the section's last `key`, or the section's own without it.
int LineOf(const SymbolConfig& section, std::string_view key);

// The help: every key with the shape of its value, what it does and its default.
struct SymbolKeyHelp {
  const char* name;
  const char* shape;
  std::string text;
};
std::vector<SymbolKeyHelp> SymbolKeyHelps();

}  // namespace vl5::terminal::market
