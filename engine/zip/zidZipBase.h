// TZipBase: the ZIP steps of the write loop. Reads the old central directory,
// copies kept entries, writes new entries (stored or deflated, optionally
// encrypted, optionally with enciphered headers), and closes the archive with
// its central directory and end record. Comments of entries and of the
// archive can be read and rewritten.
//
// Names are written with "/" between folders. ASCII names are stored as they
// are; any other name is stored as UTF-8 with general purpose flag bit 11,
// except a name on disk that is not valid UTF-8: its bytes are stored as they
// are, without the flag, and the entry is marked as made on Unix.
// The OEM (CP437) translation is not used for writing: a CP437 name without
// the flag comes out mangled in unzip, 7zz and bsdtar on Linux ("cafe" with an
// accent becomes "caf\202"), while the flagged UTF-8 name is read right by
// all of them. Reading still takes unflagged names from DOS hosts as CP437.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/base/zidCompBase.h"
#include "engine/zip/zidAes.h"
#include "engine/zip/zidZipPrefetch.h"
#include "engine/zip/zidZipRecords.h"

namespace zid {

// A ZIP entry's record in the write loop (TCompHeaderItem::Record): its
// central header and fields as read from the old directory, or as written
// for a new file.
struct TZipEntryRecord {
  TCentralHeader Central;
  std::string RawName;  // name bytes as stored (deciphered)
  std::string Extra;    // central extra field
  std::string Comment;  // file comment
  bool HeadersEnciphered = false;
  // A new file's encryption header bytes, drawn for every file of a run in
  // list order before any is written (so with or without workers alike).
  std::optional<TCryptSalt> Salt;
};

class TZipBase : public TCompBase {
 public:
  TZipBase();
  ~TZipBase() override;

  bool EncryptHeaders = false;
  // The cipher of the entries when Password is set.
  TZipEncryption Encryption = zeTraditional;
  bool SetCipher(int aesStrength) override;
  // Threads compressing files ahead of the write loop: 0 one per core, 1 none
  // (the loop compresses each file itself), and for the pieces of one large
  // file (zidDeflatePieces.h). The archive is the same either way.
  int CompressWorkers = 0;
  int64_t LeaveSpaceOnFirstDisk = 0;

  // The writer's own type; the value is kept (no detection on writers).
  void SetArcType(TArcType value) override;

  // ---- comments -------------------------------------------------------------
  // Reads the directory and the archive comment of ArchiveFile. False when
  // the archive cannot be read.
  bool LoadComments();
  int CommentCount() const { return list_.Count(); }
  std::string GetEntryName(int index) const;
  std::string GetEntryComment(int index) const;
  void SetEntryComment(int index, const std::string& comment);
  std::string GetArchiveComment() const { return list_.ArchiveComment; }
  void SetArchiveComment(const std::string& comment);
  // Rewrites the archive with the changed comments (entries copied as they
  // are). False when nothing changed or the rewrite failed.
  bool SaveComments();

 protected:
  bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) override;
  bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  void WriteEmptyArchive(TStream32& out) override;
  bool FinishArchive(TStream32& out, TCompHeaderObj& list) override;
  void AfterWrite(TCompHeaderObj& list) override;
  int EntryHeaderSize() const override { return static_cast<int>(kLocalHeaderSize); }

  // Writes the central directory and the end records of the list at the end
  // of out. Without zip64Allowed (a spanned set, whose end record is rebuilt
  // per disk) an archive that would need the zip64 records is refused.
  bool WriteDirectory(TStream32& out, TCompHeaderObj& list, bool zip64Allowed = true);

  // Bytes of an entry in the old archive: header, name, extra, data and a
  // data descriptor. False when the local header is missing or runs past the end.
  bool EntrySpan(TStream32& in, const TCompHeaderItem& item, int64_t& headerExtra, int64_t& total);

 private:
  // Gives the new entries of the list from `from` on their records.
  void PlanEntries(TCompHeaderObj& list, int from);
  // Hands the files of the list from `from` on to the compressing workers.
  void StartPrefetch(TCompHeaderObj& list, int from, TDeflateType dt);
  std::unique_ptr<TZipPrefetch> prefetch_;
};

// The name bytes of an entry and the flag bit 11 they need (see above).
// legacy: the name is already in a DOS or Windows code page: never flagged.
std::string ZipNameBytes(const std::string& name, uint16_t& flags, bool legacy = false);

}  // namespace zid
