// Creating files below a chosen folder without ever leaving it.
//
// An archive's entry names are not trusted: every folder component below the
// root is opened with O_NOFOLLOW, so a symbolic link planted inside the target
// (before extraction, or by an earlier entry) is never followed by a write, a
// date or an attribute change. The root itself is the user's choice and is
// taken as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace plat {

// How an existing last component is treated by CreateFileBeneath.
enum class Existing { Truncate, Append };

// Creates (or truncates / appends to) root/components..., creating missing
// folders on the way (mode 0777 & ~umask). A link or non-folder among the folder
// components fails with ELOOP/ENOTDIR. A link as the last component is removed
// and a new file created in its place: the link's target is never touched.
// Returns a negative handle on failure; LastError() tells why.
Handle CreateFileBeneath(const std::string& root, const std::vector<std::string>& components, Existing how);
// Creates root/components... as folders (all of them), same rules.
bool CreateDirsBeneath(const std::string& root, const std::vector<std::string>& components);
// Describes root/components... without following any link below the root.
FileInfo StatBeneath(const std::string& root, const std::vector<std::string>& components);
// Clears the read-only state of an existing file below the root (never through a link).
bool MakeWritableBeneath(const std::string& root, const std::vector<std::string>& components);

// Attribute and permission changes on an open file (no path, so no link to follow).
bool HandleSetMode(Handle h, uint32_t mode);   // chmod bits & 0777
bool HandleSetReadOnly(Handle h, bool readOnly);

// Folders deeper than this are refused (ENAMETOOLONG), so a hostile name of
// thousands of levels ends with an error instead of exhausting descriptors.
constexpr size_t kMaxFolderDepth = 1024;

}  // namespace plat
