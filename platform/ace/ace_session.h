// One call of the library (list, test or extract) over one archive: the walk
// from block to block and from volume to volume, the members with their
// segments, the decode passes and the callbacks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ace/ace_crypt.h"
#include "platform/ace/ace_headers.h"
#include "platform/ace/ace_lz77.h"
#include "platform/ace/unace.h"

namespace ace {

enum class TCallKind { List, Test, Extract };

// The part of a member's packed data in one volume.
struct TSegment {
  size_t volume = 0;  // index into the session's volume list
  int64_t offset = 0;
  uint64_t size = 0;
};

struct TMember {
  TFileHeader first;
  TFileHeader last;  // the latest segment's header; its CRC is the member's once the last segment is known
  std::vector<TSegment> segments;
  TEntryInfo info;
  bool passwordChecked = false;
  bool chainBroken = false;  // its next volume could not be had: not asked for again
  bool handled = false;
  TResult result = TResult::Ok;
};

class TSession;

// The packed bytes of one member, segment after segment (across volumes),
// deciphered when a password is given. Used as the bit reader's input.
class TPackedReader {
 public:
  TPackedReader(TSession& session, TMember& member, const std::string* password);
  size_t Read(uint8_t* buf, size_t n);
  uint64_t PackedDone() const { return done_; }

 private:
  size_t ReadRaw(uint8_t* buf, size_t n);

  TSession& session_;
  TMember& member_;
  std::unique_ptr<TCbcDecryptor> cbc_;
  TFile file_;
  size_t fileVolume_ = SIZE_MAX;
  size_t segment_ = 0;
  uint64_t segmentDone_ = 0;
  uint64_t done_ = 0;
  bool ended_ = false;
  static constexpr size_t kPlainSize = 1 << 16;  // a multiple of 8
  std::vector<uint8_t> plain_;  // deciphered bytes not yet taken
  size_t plainPos_ = 0;
  uint8_t carry_[8];  // raw bytes short of a cipher block
  size_t carryN_ = 0;
};

class TSession {
 public:
  TSession(const TInitDll& init, TCallKind kind, const TFileSet& files, const std::string& password,
           const std::string& targetDir, bool excludePath);
  // Processes the archive; 0 or a kError code.
  int Run(const std::string& archive);

  // For the member reader: the path of volume k, and the next segment of a
  // split member (raises TFailure when it cannot be had).
  const std::string& VolumePath(size_t k) const { return volumes_[k]; }
  void ExtendMember(TMember& m);

 private:
  int OpenFirst(const std::string& archive);
  void OpenNextVolume(const TEntryInfo* entry);
  int Walk();
  void ProcessMember(TMember& m);
  bool NeedsHistory(const TMember& m) const;
  bool Selected(const std::string& name) const;
  std::string OutputPath(const std::string& name) const;
  // Decodes the member (once); emit: the bytes go to the consumer and the CRC state fires.
  TResult DecodeMember(TMember& m, bool emit);
  TResult PreparePassword(TMember& m);
  // Tries one password (kept as the session's when it decodes the member).
  TResult CheckPassword(TMember& m, const std::string& password);
  TResult VerifyPassword(TMember& m);
  // One decode of the member's data; the computed CRC in crc.
  void RunPass(TMember& m, bool emit, uint32_t& crc);
  // Moves past the member's remaining segments (raises TFailure).
  void FinishSegments(TMember& m);

  // The callbacks; an empty one answers kAnswerOk. A cancel answer is remembered.
  int Info(int code, const std::string& text);
  int Error(int code, const std::string& file, const std::string& text = std::string());
  int Request(TRequest& r);
  int State(TState& s);

  const TInitDll& init_;
  TCallKind kind_;
  const TFileSet& files_;
  std::string password_;
  std::string targetDir_;
  bool excludePath_;
  size_t blockSize_;

  std::vector<std::string> volumes_;  // opened so far, in order
  TFile cur_;                         // the volume the walk is in
  size_t curIndex_ = 0;
  int64_t pos_ = 0;                   // next block in cur_
  TMainHeader main_;
  bool solid_ = false;
  THistory hist_;
  THistory::TSnapshot snapshot_;
  bool cancelled_ = false;
  int members_ = 0;  // members met so far
};

}  // namespace ace
