// Files, folders and attributes as the engine sees them.
//
// Contract: nothing here throws. A failed open or create gives a negative
// handle; the engine tests it and reports "Error opening file" itself. Sizes
// and positions are 64-bit. Paths are byte strings (UTF-8 on this system);
// bytes that are not valid UTF-8 are passed to the system unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

using Handle = int;  // negative: no file
constexpr Handle kNoHandle = -1;

// Open modes of FileOpen. The low two bits are the access, the share bits
// are accepted for the engine's sake but the system has no share locks.
enum : int {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
};
// The stream constructors take this mode to create (truncate) a file.
constexpr int fmCreate = -1;

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// Opens an existing file. Never follows a symbolic link at the last component
// when the file is opened for writing. Opened for reading, only a regular file
// is opened: a FIFO, device or socket gives a negative handle with
// LastError() == kErrNotRegular, at once (the open never waits for a writer).
Handle FileOpen(const std::string& path, int mode);
// Creates or truncates a file for reading and writing. Refuses (negative
// handle) when the path is a symbolic link: an archive never writes through one.
Handle FileCreate(const std::string& path);
// Creates a new file that must not exist yet (O_EXCL, never through a link).
Handle FileCreateNew(const std::string& path);
// Read/write return the bytes moved, or -1 on error (a short count is not an error).
int64_t FileRead(Handle h, void* buffer, int64_t count);
int64_t FileWrite(Handle h, const void* buffer, int64_t count);
// Returns the new position, or -1 when the seek is refused (negative target).
int64_t FileSeek(Handle h, int64_t offset, int origin);
bool FileTruncate(Handle h, int64_t size);
bool FileClose(Handle h);
int64_t FileSizeOf(Handle h);  // -1 on error

// Tests only: before each FileRead the hook may cut the count (0: the file
// ends here), as a file shrinking under the reader would. Null: none.
using FileReadLimitHook = int64_t (*)(Handle h, int64_t count);
void SetFileReadLimitHook(FileReadLimitHook hook);

// The error of an open refused because the path is no regular file (not an errno value).
constexpr int kErrNotRegular = 0x10000;

// The error number of the last failed call of this thread (errno).
int LastError();
void SetLastError(int err);
bool IsDiskFullError(int err);  // ENOSPC, EDQUOT (EFBIG, a size limit, is a write error)
std::string ErrorText(int err);

// DOS attribute bits, mapped onto the system: read-only = no owner write bit,
// hidden = a name starting with ".", directory, archive = a regular file.
// The other bits never hold here.
enum : uint32_t {
  faReadOnly = 0x0001,
  faHidden = 0x0002,
  faSysFile = 0x0004,
  faVolumeID = 0x0008,
  faDirectory = 0x0010,
  faArchive = 0x0020,
  faNormal = 0x0080,
  faTemporary = 0x0100,
  faSymLink = 0x0400,
  faCompressed = 0x0800,
  faNotContentIndexed = 0x2000,
  faEncrypted = 0x4000,
};
// -1 when the path does not exist. A symbolic link is described, not followed.
int64_t FileGetAttr(const std::string& path);
// Applies read-only (owner/group/other write bits off, or owner write on);
// the other bits are ignored. Never follows a symbolic link.
bool FileSetAttr(const std::string& path, uint32_t attr);
// Unix permission bits (without setuid/setgid/sticky); never follows a link.
bool FileSetMode(const std::string& path, uint32_t mode);
// The permission bits a newly created file gets by default (0666 less the umask).
uint32_t NewFileMode();
// The process's umask (read once).
uint32_t UMask();

struct FileInfo {
  bool exists = false;
  bool isDir = false;
  bool isLink = false;
  int64_t size = 0;
  int64_t mtime = 0;  // Unix seconds
  int64_t ctime = 0;  // status change time: the nearest the system has to creation
  uint32_t attr = 0;  // DOS bits as above
  uint32_t mode = 0;  // Unix mode
  uint64_t device = 0;
  uint64_t inode = 0;
};
// lstat: a link is described, not followed.
FileInfo FileStat(const std::string& path);
// stat: what a link leads to (isLink false); missing or dangling: exists false.
FileInfo TargetStat(const std::string& path);
// Device and inode of what the path leads to (links followed); false when missing.
bool FileIdentity(const std::string& path, uint64_t& device, uint64_t& inode);
bool FileExists(const std::string& path);       // a file (not a folder); a link counts
bool DirectoryExists(const std::string& path);  // a real folder, not a link to one
// Sets the modification (and access) time, Unix seconds. Never follows a link.
bool FileSetDate(const std::string& path, int64_t unixTime);
bool FileSetDate(Handle h, int64_t unixTime);

bool DeleteFile(const std::string& path);
// rename(2): same file system only; replaces an existing target file.
bool RenameFile(const std::string& from, const std::string& to);
// Rename, or copy and delete across file systems.
bool MoveFile(const std::string& from, const std::string& to);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool CreateDir(const std::string& path);
// Creates the folder and all missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool RemoveDir(const std::string& path);

std::string GetCurrentDir();  // without trailing separator
bool SetCurrentDir(const std::string& path);
std::string ExpandFileName(const std::string& path);  // absolute, "." and ".." folded

// The system temporary folder, with a trailing separator ($TMPDIR or /tmp).
std::string TempFolder();
// Creates a new empty file "<dir>/<prefix>XXXX.tmp" exclusively and returns its
// name, or "" on failure (like the Windows call the engine was written for).
std::string CreateTempFileName(const std::string& dir, const std::string& prefix);

// Creates an unnamed file in dir (Linux O_TMPFILE), open for reading and
// writing with mode 0600: it has no name, so it vanishes with its last handle,
// whatever ends the process. kNoHandle (errno set) when the system, the file
// system or a missing /proc refuses it, or when unnamed files are switched off.
Handle CreateUnnamedFile(const std::string& dir);
// A scratch file in dir (the system temporary folder when dir is empty), open
// for reading and writing, that vanishes with its handle: unnamed where the
// file system allows, else named and removed at once. Safe from any thread.
// kNoHandle (errno set) when neither can be made.
Handle CreateScratchFile(const std::string& dir);
// Gives an unnamed file a new unique name "<dir>/<prefix>XXXX.tmp"; dir must
// be on the file's file system. Returns the name, or "" with errno set.
std::string NameUnnamedFile(Handle h, const std::string& dir, const std::string& prefix);
// Unnamed files are on by default; tests switch them off to take the named path.
void SetUnnamedFilesEnabled(bool enabled);

int64_t DiskFree(const std::string& path);   // bytes available, -1 on error
int64_t DiskTotal(const std::string& path);  // -1 on error
// An identity of the file system holding path (its device); two paths with
// the same id can be renamed into each other. Tests may fake it.
uint64_t FileSystemId(const std::string& path);
using FileSystemIdHook = uint64_t (*)(const std::string& path);
void SetFileSystemIdHook(FileSystemIdHook hook);  // nullptr restores the real one

// One directory entry as the scanner sees it.
struct FindData {
  std::string name;
  int64_t size = 0;
  int64_t mtime = 0;  // Unix seconds
  uint32_t attr = 0;  // DOS bits
  bool isLink = false;
};
// Lists a folder (without "." and ".."); false when it cannot be read.
// Links are described, not followed: a link to a folder is not a folder.
bool ListDirectory(const std::string& dir, std::vector<FindData>& out);
// What a symbolic link leads to, as an entry of its folder: the target's
// size, date and attributes under the link's own name (isLink false). False
// for a dangling link or a target that is neither a file nor a folder.
bool ResolveLink(const std::string& path, FindData& entry);

}  // namespace plat
