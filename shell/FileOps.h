// File operations of the window's context menu that do more than one call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace shell {

constexpr int64_t kCopyBlockSize = 10240;

// Copies from -> to in blocks of kCopyBlockSize bytes, creating or truncating
// the target. Returns 0, or the error number of the failure. A read error or
// a short write (a full disk) is a failure, and the partial target is removed
// so that no truncated copy is left looking like a good one. onBlock, when
// given, sees the size of every block written.
int CopyFileInBlocks(const std::string& from, const std::string& to,
                     const std::function<void(int64_t)>& onBlock = {});

// The bytes below a path: a file's size, or the sizes of every file in a
// folder and its subfolders (links are not followed); 0 when unreadable.
int64_t PathBytes(const std::string& path);

// True when both names reach the same file (also through links or "..").
bool SameFile(const std::string& a, const std::string& b);

}  // namespace shell
