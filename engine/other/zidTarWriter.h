// TTarWriter: writes tar archives (ustar, with pax extended headers where
// ustar cannot hold a name, a size or a time) through the write loop of
// TCompBase, plain or through the filter the archive's extension names:
// .tar.gz/.tgz (zlib), .tar.xz/.txz (liblzma), .tar.zst/.tzst (libzstd),
// at the effort of DeflateType (fast, normal, max).
//
// Each member keeps its file's permission bits and modification time;
// folders are members of their own. The bytes go out as one stream, header,
// data and padding in order, so a compressed tar is compressed as it is
// written, never held whole.
//
// A plain tar is added to by copying its members as they are (the headers
// are read with the shared scanner); a compressed tar is not reopened:
// adding to one is refused ("cannot update a compressed tar").
#pragma once

#include <memory>

#include "engine/base/zidCompBase.h"
#include "engine/other/zidPackFilter.h"

namespace zid {

class TTarWriter : public TCompBase {
 public:
  TTarWriter();
  ~TTarWriter() override;
  // The type is fixed: any value restores atTar.
  void SetArcType(TArcType value) override;

 protected:
  bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) override;
  bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  void WriteEmptyArchive(TStream32& out) override;
  bool FinishArchive(TStream32& out, TCompHeaderObj& list) override;
  void AfterWrite(TCompHeaderObj& list) override;
  int EntryHeaderSize() const override { return 512; }

 private:
  void StartStream(TStream32& out);
  void BeginMember(TStream32& out, const TCompHeaderObj& list, int index);
  // The member stream's sink over out.
  TPackSink& Sink(TStream32& out);
  bool Put(TStream32& out, const void* buf, int64_t n);
  bool PutZeros(TStream32& out, int64_t n);
  bool CopyData(TStream32& out, TStream32& src, TCompHeaderItem& it, int64_t size);

  std::unique_ptr<TPackSink> sink_;
  int64_t written_ = 0;  // plain bytes of the member stream so far
};

}  // namespace zid
