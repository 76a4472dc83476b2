// TZip: the ZIP writer. Adds to TZipBase the copy of a finished archive onto
// removable disks (spanning): when the archive's drive is removable, the
// archive is built completely in the temporary stream first and then copied
// disk by disk, each disk labelled "PKBACK# nnn".
#pragma once

#include <functional>
#include <string>

#include "engine/zip/zidZipBase.h"

namespace zid {

// OnDiskSpanFileExists(Sender, FileName, var Replace): the archive is already on the disk.
using TOnDiskSpanFileExists = std::function<void(TZipCommon* sender, const std::string& fileName, bool& replace)>;
// OnClearDisk(Sender, Drive, RequiredSpace, FreeSpace, TotalSpace, var Cancel).
using TOnClearDisk = std::function<void(TZipCommon* sender, const std::string& drive, int64_t requiredSpace,
                                        int64_t freeSpace, int64_t totalSpace, bool& cancel)>;
// OnInsertDisk for writers: the disk number as text; Cancel preset true.
using TOnInsertSpanDisk = std::function<void(TZipCommon* sender, const std::string& volumeName, bool& cancel)>;

class TZip : public TZipBase {
 public:
  TZip();

  TOnDiskSpanFileExists OnDiskSpanFileExists;
  TOnClearDisk OnClearDisk;
  TOnInsertSpanDisk OnInsertSpanDisk;
  // Removable-disk spanning follows the drive type; tests can force it.
  bool ForceSpanning = false;

 protected:
  bool PublishArchive(TStream32& out, TCompHeaderObj& list, TTempFileStream* file, TTempMemStream* mem) override;

 private:
  friend class TZipSpanWriter;
};

}  // namespace zid
