#pragma once
// File-name masks: '*' stands for any run of characters (also none), '?'
// for exactly one character. Characters are whole UTF-8 characters, not
// bytes.

#include <string_view>

// True when name matches mask. With ignoreCase both are compared after
// upper-casing every character (Unicode case mapping). A mask of "*" (or
// only '*'s) matches every name, the empty one too; "*.*" matches only
// names with a '.' in them.
bool MatchesWildcard(std::string_view name, std::string_view mask, bool ignoreCase);
