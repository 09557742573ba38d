// Shell-style name patterns for choosing found files: "*" any run of
// characters, "?" one character, "[abc]", "[a-z]" and "[!abc]" (or "[^abc]")
// one character of (or not of) a set. A "[" without its "]" is an ordinary
// character, so a name with a bracket can still be typed.
//
// Patterns and names are UTF-8 and compared character by character, upper and
// lower case alike: ASCII, the accented Latin letters, Greek and Cyrillic are
// folded, which covers the names cameras and people give their files. "*"
// also crosses "/", so "*/DCIM/*" reaches every depth below DCIM.
#pragma once

#include <string_view>

namespace vexlo {

// Whether the whole of `text` matches `pattern`.
bool MatchesNamePattern(std::string_view pattern, std::string_view text);

// Whether `text` holds any of "*", "?" or "[", the characters that make it a
// pattern rather than a plain word.
bool HasWildcards(std::string_view text);

}  // namespace vexlo
