#include "shell/FileOps.h"

#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/files.h"

namespace shell {

int CopyFileInBlocks(const std::string& from, const std::string& to, const std::function<void(int64_t)>& onBlock) {
  // The source is only read, so a read-only file copies too.
  const plat::Handle src = plat::FileOpen(from, plat::fmOpenRead);
  if (src < 0) return plat::LastError();
  const plat::Handle dst = plat::FileCreate(to);
  if (dst < 0) {
    const int err = plat::LastError();
    plat::FileClose(src);
    return err;
  }
  std::vector<char> block(static_cast<size_t>(kCopyBlockSize));
  int err = 0;
  for (;;) {
    const int64_t got = plat::FileRead(src, block.data(), kCopyBlockSize);
    if (got < 0) {
      err = plat::LastError();
      break;
    }
    if (got == 0) break;
    const int64_t put = plat::FileWrite(dst, block.data(), got);
    if (put != got) {
      err = put < 0 ? plat::LastError() : ENOSPC;
      if (err == 0) err = EIO;
      break;
    }
    if (onBlock) onBlock(got);
  }
  plat::FileClose(src);
  if (!plat::FileClose(dst) && err == 0) err = plat::LastError() ? plat::LastError() : EIO;
  // Only a regular file we wrote is removed; a device stays where it is.
  if (err != 0 && (plat::FileStat(to).mode & 0170000) == 0100000) plat::DeleteFile(to);
  return err;
}

int64_t PathBytes(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (ec) return 0;
  if (fs::is_regular_file(st)) return static_cast<int64_t>(fs::file_size(path, ec));
  if (!fs::is_directory(st)) return 0;
  int64_t total = 0;
  fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code sizeEc;
    if (it->is_regular_file(sizeEc) && !it->is_symlink(sizeEc)) {
      const auto size = it->file_size(sizeEc);
      if (!sizeEc) total += static_cast<int64_t>(size);
    }
  }
  return total;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return plat::ExpandFileName(a) == plat::ExpandFileName(b);
}

}  // namespace shell
