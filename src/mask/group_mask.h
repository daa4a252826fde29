// Symbol selection by a group mask, shared by the client and the terminal: a
// comma-separated list of items with '*' wildcards; an item starting with '!' excludes.
#pragma once

namespace vl5::mask {

// True when no exclusion item matches `name` and at least one inclusion item
// does. Both texts are zero-terminated UTF-16; null gives false.
bool MatchGroupMask(const char16_t* mask, const char16_t* name);

// True when `name` matches one item (leading '!' ignored). The matcher makes
// one forward pass over the name and never moves back in it.
bool MatchMaskItem(const char16_t* item, const char16_t* name);

}  // namespace vl5::mask
