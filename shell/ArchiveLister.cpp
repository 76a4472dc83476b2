#include "shell/ArchiveLister.h"

#include <exception>

#include "engine/listing/zidRizER.h"

namespace shell {

ArchiveLister::ArchiveLister(std::function<void(int, int)> progress) : reader_(std::make_unique<zid::TRizER>()) {
  reader_->OnProgress = [progress = std::move(progress)](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
    if (progress) progress(byFile, byArchive);
  };
}

ArchiveLister::~ArchiveLister() = default;

bool ArchiveLister::Busy() const { return reader_->Busy(); }

bool* ArchiveLister::CancelFlag() { return reader_->CancelFlag(); }

void ArchiveLister::GetFileList(const TDirReaderProps& props, std::vector<std::string>& lines) {
  zid::TRizER& r = *reader_;
  try {
    r.RecurseDirs = props.RecurseDirs;
    r.SetArchiveFile(props.ArchiveFile);  // runs type detection
    r.FileSpec = props.FileSpec;
    r.GetFileList(&lines);
  } catch (const std::exception&) {
    lines.clear();
  }
}

}  // namespace shell
