#include "engine/zip/zidZip.h"

#include "engine/zip/zidZipSpan.h"

namespace zid {

TZip::TZip() = default;

bool TZip::PublishArchive(TStream32& out, TCompHeaderObj& list, TTempFileStream* file, TTempMemStream* mem) {
  if (!targetRemovable_ && !ForceSpanning) return TZipBase::PublishArchive(out, list, file, mem);
  TZipSpanWriter span(*this);
  const bool ok = span.Write(out, list);
  if (file) file->Discard();
  if (mem) mem->Discard();
  return ok;
}

}  // namespace zid
