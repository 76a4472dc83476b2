// Turning a stored entry name into a path below the extraction folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zid {

// Splits a stored name into the components of a relative path that stays
// inside the extraction folder. "/" separates, and "\" as well unless
// backslash is false (a name made on a Unix host keeps it as a character of
// the name: GNU tar and Info-ZIP store "back\slash.txt" as one name); absolute roots
// ("/x", "//x"), drive prefixes ("C:\x", "C:x") and network or device prefixes
// ("\\srv\share\x", "\\?\C:\x", "\\.\x") are cut; "." components vanish,
// ".." takes back the component before it, and a ".." with none left before
// it is dropped ("../a" gives "a", "x/../../a" gives "a"). The components
// never hold a separator, ".", ".." or nothing. Returns false, with the reason
// in *why, for an empty name (or one of separators, "." and ".." only) or a
// name holding a NUL byte. *cut (when given) gets what was cut, empty when
// nothing: the prefix, then "../" for each ".." dropped; a name that would
// have led outside the folder, which the caller warns about. backslash: "\"
// separates folders (false for names made on Unix hosts, where it is part of a name).
bool SplitEntryPath(std::string_view name, std::vector<std::string>& components, std::string* why = nullptr,
                    std::string* cut = nullptr, bool backslash = true);

// True when SplitEntryPath would keep the name as it is, split at its
// separators (no prefix, no empty, "." or ".." component, no NUL): *parts
// gets the number of components. A quick look for the common name, which
// needs no components where nothing is written to disk.
bool PlainEntryPath(std::string_view name, bool backslash, size_t* parts);

// The components joined with "/".
std::string JoinComponents(const std::vector<std::string>& components, size_t count);

}  // namespace zid
