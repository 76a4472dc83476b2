// The directory reader behind the window's preview, kept in a translation
// unit of its own: the reader's header and the writers' header each declare
// an event type of the same name, so the two cannot meet in one file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/ArchiveEngine.h"

namespace zid {
class TRizER;
}

namespace shell {

class ArchiveLister {
 public:
  explicit ArchiveLister(std::function<void(int byFile, int byArchive)> progress);
  ~ArchiveLister();
  ArchiveLister(const ArchiveLister&) = delete;
  ArchiveLister& operator=(const ArchiveLister&) = delete;

  // True while a walk runs: the reader refuses a second one.
  bool Busy() const;
  // The reader's cancel flag.
  bool* CancelFlag();
  // Appends the entry names of the archive the record names; empties lines
  // when the archive cannot be read.
  void GetFileList(const TDirReaderProps& props, std::vector<std::string>& lines);

 private:
  std::unique_ptr<zid::TRizER> reader_;
};

}  // namespace shell
