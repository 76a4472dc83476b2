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

// Makes root/components... a symbolic link holding `target` (taken as it is:
// the caller decides whether it may point there), creating missing folders
// with the same rules as CreateFileBeneath. The link is made under a temporary
// name in its folder and renamed over the final name, so an existing file or
// link of that name is replaced whole; a folder (or anything other than a
// file or a link) there is refused (EISDIR / EINVAL). unixTime >= 0 stamps the
// link itself. False on failure, LastError() tells why.
bool CreateSymlinkBeneath(const std::string& root, const std::vector<std::string>& components,
                          const std::string& target, int64_t unixTime = -1);
// Makes root/components... a second name of the regular file root/source...
// (a hard link), the same way: no link among the folders of either path is
// followed, and a source that is itself a link or not a regular file is
// refused (EINVAL), so the new name never stands for something a link chose.
bool CreateHardLinkBeneath(const std::string& root, const std::vector<std::string>& source,
                           const std::vector<std::string>& components);

// A file written below a root under a temporary name in its final folder, put
// in place only when it is complete: Commit renames it over the final name
// (replacing a file or a link there, never writing through either), Discard
// removes it. An existing file of that name is never touched until Commit,
// so a failed entry loses nothing. A name that is taken by something other
// than a file or a link (a folder, a fifo, a device) is refused at Open
// without opening it, so nothing blocks. The folder is kept open between
// files, so a run of files in one folder does not walk the path each time.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the folders and the temporary file; Append opens the final name
  // itself for appending (a file continued from an earlier volume), with the
  // same refusals. Negative handle on failure, LastError() tells why.
  Handle Open(const std::string& root, const std::vector<std::string>& components, Existing how);
  // Closes the file (when still open) and puts it in place. False (LastError)
  // when the rename failed; the temporary file is removed then.
  bool Commit();
  // Closes and removes the temporary file (an appended file stays as it is).
  void Discard();
  Handle handle() const { return fd_; }
  // Closes the handle early, keeping the pending name (Commit/Discard follow).
  // False when the close reported an error (data may not have reached the disk).
  bool CloseHandle();

 private:
  void CloseDir();
  int dir_ = -1;
  std::string dirRoot_;
  std::vector<std::string> dirComps_;
  Handle fd_ = kNoHandle;
  std::string temp_;
  std::string final_;
};

// Device and inode of an open file; false when unknown.
bool HandleIdentity(Handle h, uint64_t& device, uint64_t& inode);

// Attribute and permission changes on an open file (no path, so no link to follow).
bool HandleSetMode(Handle h, uint32_t mode);   // chmod bits & 0777
bool HandleSetReadOnly(Handle h, bool readOnly);

// Folders deeper than this are refused (ENAMETOOLONG), so a hostile name of
// thousands of levels ends with an error instead of exhausting descriptors.
constexpr size_t kMaxFolderDepth = 1024;

}  // namespace plat
