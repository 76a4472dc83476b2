#include "platform/ace/ace_session.h"

#include <algorithm>
#include <cctype>

#include "platform/ace/ace_blocked.h"
#include "platform/ace/ace_output.h"
#include "platform/files.h"

namespace ace {

namespace {

// The main header is searched for in at least this much of a file with a stub.
constexpr int64_t kMinSearch = 512 * 1024;
// The password is asked at most this many times per member, whatever the answers.
constexpr int kMaxPasswordRequests = 64;

// pos + a + b without going past INT64_MAX (a hostile size just ends the walk).
int64_t Advance(int64_t pos, uint64_t a, uint64_t b) {
  const uint64_t room = static_cast<uint64_t>(INT64_MAX - pos);
  if (a > room || b > room - a) return INT64_MAX;
  return pos + static_cast<int64_t>(a + b);
}

bool WildMatch(const char* m, const char* s) {
  auto same = [](char a, char b) {
    if (a == '/') a = '\\';
    if (b == '/') b = '\\';
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  const char* star = nullptr;
  const char* back = nullptr;
  while (*s) {
    if (*m == '*') {
      star = ++m;
      back = s;
    } else if (*m == '?' || (*m && same(*m, *s))) {
      ++m;
      ++s;
    } else if (star) {
      m = star;
      s = ++back;
    } else {
      return false;
    }
  }
  while (*m == '*') ++m;
  return *m == 0;
}

// Whether any CR-separated mask of list matches name (a name without a dot
// is tried once more with one appended, so "*.*" and "*." find it).
bool ListMatches(const std::string& list, const std::string& name, bool fullMatch) {
  std::string target = name;
  if (!fullMatch) {
    const size_t sep = target.find_last_of("/\\");
    if (sep != std::string::npos) target.erase(0, sep + 1);
  }
  const size_t sep = target.find_last_of("/\\");
  const bool noDot = target.find('.', sep == std::string::npos ? 0 : sep + 1) == std::string::npos;
  size_t from = 0;
  while (from < list.size()) {
    size_t end = list.find('\r', from);
    if (end == std::string::npos) end = list.size();
    std::string mask = list.substr(from, end - from);
    from = end + 1;
    if (mask.empty()) continue;
    if (mask == "*.*") mask = "*";
    if (WildMatch(mask.c_str(), target.c_str())) return true;
    if (noDot && WildMatch(mask.c_str(), (target + ".").c_str())) return true;
  }
  return false;
}

}  // namespace

TSession::TSession(const TInitDll& init, TCallKind kind, const TFileSet& files, const std::string& password,
                   const std::string& targetDir, bool excludePath)
    : init_(init),
      kind_(kind),
      files_(files),
      password_(password),
      targetDir_(targetDir),
      excludePath_(excludePath),
      blockSize_(std::clamp<size_t>(init.maxFileBufSize, 4096, 1 << 20)) {}

// ---------------------------------------------------------------------------
// Callbacks

int TSession::Info(int code, const std::string& text) {
  const int a = init_.info ? init_.info(code, text) : kAnswerOk;
  if (a == kAnswerCancel) cancelled_ = true;
  return a;
}

int TSession::Error(int code, const std::string& file, const std::string& text) {
  if (init_.error) init_.error(code, file, text);
  return code;
}

int TSession::Request(TRequest& r) {
  const int a = init_.request ? init_.request(r) : kAnswerOk;
  if (a == kAnswerCancel) cancelled_ = true;
  return a;
}

int TSession::State(TState& s) {
  const int a = init_.state ? init_.state(s) : kAnswerOk;
  if (a == kAnswerCancel) cancelled_ = true;
  return a;
}

// ---------------------------------------------------------------------------
// Volumes

int TSession::OpenFirst(const std::string& archive) {
  if (!cur_.Open(archive)) return Error(kErrorOpen, archive);
  std::vector<uint8_t> h;
  int64_t at = 0;
  const int64_t limit = std::max<int64_t>(kMinSearch, init_.maxArchiveTestBytes);
  if (!LocateMainHeader(cur_, limit, at, main_, h)) return Error(kErrorNotAce, archive);
  volumes_.assign(1, archive);
  curIndex_ = 0;
  pos_ = at + static_cast<int64_t>(h.size());
  solid_ = main_.Solid();
  Info(kInfoVolume, archive);
  return 0;
}

void TSession::OpenNextVolume(const TEntryInfo* entry) {
  const int next = main_.volume + 1;
  TRequest q;
  q.code = kRequestChangeVolume;
  q.entry = entry;
  q.volume = next;
  q.volumeName = ExistingVolumeCase(ace::VolumePath(volumes_.front(), next));
  const int a = Request(q);
  if (a == kAnswerCancel) Fail(TResult::Cancelled);
  if (a != kAnswerOk) Fail(TResult::MissingVolume);
  TFile f;
  if (!f.Open(q.volumeName)) {
    Error(kErrorOpen, q.volumeName);
    Fail(TResult::MissingVolume);
  }
  std::vector<uint8_t> h;
  TMainHeader m;
  int64_t at = 0;
  if (!LocateMainHeader(f, kMinSearch, at, m, h)) {
    Error(kErrorNotAce, q.volumeName);
    Fail(TResult::BadHeader);
  }
  if (m.volume != next) {
    Error(kErrorVolumeOrder, q.volumeName);
    Fail(TResult::BadHeader);
  }
  cur_.Close();
  if (!cur_.Open(q.volumeName)) Fail(TResult::ReadError);
  volumes_.push_back(q.volumeName);
  curIndex_ = volumes_.size() - 1;
  main_ = m;
  pos_ = at + static_cast<int64_t>(h.size());
  Info(kInfoVolume, q.volumeName);
  if (cancelled_) Fail(TResult::Cancelled);
}

void TSession::ExtendMember(TMember& m) {
  if (m.chainBroken) Fail(TResult::MissingVolume);
  m.chainBroken = true;
  OpenNextVolume(&m.info);
  std::vector<uint8_t> h;
  TFileHeader f;
  const TResult r = ReadBlock(cur_, pos_, h);
  if (r != TResult::Ok || !ParseFileHeader(h.data(), h.size(), f) || !f.FromPrev() || f.name != m.first.name) {
    // the volume does not continue this member
    Error(kErrorVolumeOrder, volumes_.back(), m.first.name);
    Fail(TResult::BadHeader);
  }
  const int64_t data = pos_ + static_cast<int64_t>(h.size());
  m.segments.push_back({curIndex_, data, f.packSize});
  m.chainBroken = false;
  m.last = f;
  m.info.packedSize += f.packSize;
  pos_ = Advance(data, f.packSize, 0);
}

void TSession::FinishSegments(TMember& m) {
  while (m.last.ToNext()) ExtendMember(m);
}

// ---------------------------------------------------------------------------
// The walk

int TSession::Run(const std::string& archive) {
  try {
    Info(kInfoStart, archive);
    if (cancelled_) return kErrorCancelled;
    if (const int e = OpenFirst(archive)) return e;
    return Walk();
  } catch (const TFailure&) {
    // only a cancel can end the walk this way
    return kErrorCancelled;
  } catch (const std::bad_alloc&) {
    return Error(kErrorRead, archive, "out of memory");
  }
}

int TSession::Walk() {
  std::vector<uint8_t> h;
  for (;;) {
    if (cancelled_) return kErrorCancelled;
    // a packed size past the end hides whatever followed it
    if (pos_ > cur_.Size()) return Error(kErrorTruncated, volumes_[curIndex_]);
    if (pos_ >= cur_.Size()) return 0;
    const TResult r = ReadBlock(cur_, pos_, h);
    if (r == TResult::Truncated) return Error(kErrorTruncated, volumes_[curIndex_]);
    if (r == TResult::ReadError) return Error(kErrorRead, volumes_[curIndex_]);
    if (r != TResult::Ok) return Error(kErrorHeader, volumes_[curIndex_]);
    const uint8_t type = h[4];
    if (type == kTypeFile || type == kTypeFile64) {
      TMember m;
      if (!ParseFileHeader(h.data(), h.size(), m.first)) return Error(kErrorHeader, volumes_[curIndex_]);
      m.last = m.first;
      const int64_t data = pos_ + static_cast<int64_t>(h.size());
      m.segments.push_back({curIndex_, data, m.first.packSize});
      pos_ = Advance(data, m.first.packSize, 0);
      if (m.first.FromPrev()) {
        // begun in a volume before the one the call started with: left out
        try {
          FinishSegments(m);
        } catch (const TFailure&) {
          return cancelled_ ? kErrorCancelled : 0;
        }
        continue;
      }
      ProcessMember(m);
      if (cancelled_) return kErrorCancelled;
      // a split member whose next volume could not be had ends the set
      if (m.last.ToNext()) return 0;
    } else {
      uint64_t body = 0;
      if (!BlockBodyLength(h.data(), h.size(), body)) return Error(kErrorHeader, volumes_[curIndex_]);
      pos_ = Advance(pos_, h.size(), body);
    }
  }
}

bool TSession::NeedsHistory(const TMember& m) const {
  return solid_ && kind_ != TCallKind::List && !m.first.IsDir() && m.first.origSize > 0 && m.first.compType <= 2;
}

bool TSession::Selected(const std::string& name) const {
  if (!files_.fileList.empty() && !ListMatches(files_.fileList, name, files_.fullMatch)) return false;
  return !ListMatches(files_.excludeList, name, files_.fullMatch);
}

std::string TSession::OutputPath(const std::string& name) const {
  std::string rel = name;
  std::replace(rel.begin(), rel.end(), '\\', '/');
  if (excludePath_) {
    const size_t sep = rel.find_last_of('/');
    if (sep != std::string::npos) rel.erase(0, sep + 1);
  }
  std::string dir = targetDir_;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + rel;
}

void TSession::ProcessMember(TMember& m) {
  const TFileHeader& f = m.first;
  TEntryInfo& e = m.info;
  e.name = f.name;
  e.packedSize = f.packSize;
  e.origSize = f.origSize;
  e.crc = f.crc;
  e.time = f.time;
  e.attr = f.attr;
  e.flags = f.flags;
  e.compType = f.compType;
  e.compQual = f.compQual;
  e.dictBits = f.DictBits();
  e.isDir = f.IsDir();
  e.encrypted = f.Encrypted();
  e.solid = solid_;
  e.split = f.ToNext();
  e.volume = main_.volume;
  e.index = members_++;

  bool skipped = true;
  if (Selected(f.name)) {
    TState st;
    st.code = kStateStartFile;
    st.entry = &e;
    if (kind_ == TCallKind::Extract) st.outputPath = OutputPath(f.name);
    st.decode = [this, &m] { return static_cast<int>(DecodeMember(m, true)); };
    st.checkPassword = [this, &m](const std::string& p) { return static_cast<int>(CheckPassword(m, p)); };
    const int a = State(st);
    if (cancelled_) return;
    if (!m.handled && a == kAnswerOk && kind_ != TCallKind::List) {
      bool go = true;
      if (kind_ == TCallKind::Extract && !f.IsDir() && plat::FileExists(st.outputPath)) {
        TRequest q;
        q.code = kRequestOverwrite;
        q.entry = &e;
        q.outputPath = st.outputPath;
        go = Request(q) == kAnswerOk;
        if (cancelled_) return;
      }
      if (go) DecodeMember(m, true);
    }
    skipped = !m.handled;
  }
  if (skipped && NeedsHistory(m)) DecodeMember(m, false);
  if (cancelled_) return;
  try {
    FinishSegments(m);
  } catch (const TFailure&) {
    return;  // the walk ends at this member
  }
  Info(kInfoFileDone, f.name);
}

// ---------------------------------------------------------------------------
// Decoding

void TSession::RunPass(TMember& m, bool emit, uint32_t& crc) {
  const TFileHeader& f = m.first;
  if (!solid_) hist_.Clear();
  TPackedReader in(*this, m, f.Encrypted() ? &password_ : nullptr);
  uint64_t done = 0;
  TOutput out(
      [&](const uint8_t* p, size_t n) {
        done += n;
        TState st;
        st.code = kStateProgress;
        st.entry = &m.info;
        st.data = emit ? p : nullptr;
        st.size = n;
        st.done = done;
        st.packedDone = in.PackedDone();
        const int a = State(st);
        if (a == kAnswerNo) Fail(TResult::OutputFailed);
        return a == kAnswerOk;
      },
      blockSize_, f.origSize);
  if (f.compType == kCompStored) {
    if (solid_) hist_.Allocate();
    std::vector<uint8_t> buf(blockSize_);
    uint64_t left = f.origSize;
    while (left > 0) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
      size_t got = 0;
      while (got < want) {
        const size_t k = in.Read(buf.data() + got, want - got);
        if (k == 0) Fail(TResult::Truncated);
        got += k;
      }
      if (solid_) hist_.Append(buf.data(), got);
      out.Put(buf.data(), got);
      left -= got;
    }
    out.Flush();
  } else {
    TBitReader br([&in](uint8_t* p, size_t n) { return in.Read(p, n); });
    DecodeCompressed(br, hist_, out, f.origSize, f.compType == kCompBlocked);
  }
  crc = out.Crc();
  FinishSegments(m);
}

TResult TSession::VerifyPassword(TMember& m) {
  if (solid_) {
    hist_.Allocate();
    hist_.Save(snapshot_);
  }
  TResult r = TResult::Ok;
  try {
    uint32_t crc = 0;
    RunPass(m, false, crc);
    if (crc != m.last.crc) r = TResult::CrcError;
  } catch (const TFailure& f) {
    r = f.result;
  }
  if (solid_) hist_.Restore(snapshot_);
  return r;
}

TResult TSession::CheckPassword(TMember& m, const std::string& password) {
  if (!m.first.Encrypted() || m.passwordChecked || m.first.IsDir() || m.first.origSize == 0) return TResult::Ok;
  if (password.empty()) return TResult::WrongPassword;
  password_ = password;
  const TResult r = VerifyPassword(m);
  m.passwordChecked = r == TResult::Ok;
  return r;
}

TResult TSession::PreparePassword(TMember& m) {
  if (!m.first.Encrypted() || m.passwordChecked || m.first.IsDir() || m.first.origSize == 0) return TResult::Ok;
  for (int asked = 0;;) {
    if (!password_.empty()) {
      const TResult r = CheckPassword(m, password_);
      if (r == TResult::Ok) return r;
      if (r != TResult::CrcError && r != TResult::DataError && r != TResult::Truncated) return r;
    }
    if (++asked > kMaxPasswordRequests) return TResult::WrongPassword;
    TRequest q;
    q.code = kRequestPassword;
    q.entry = &m.info;
    q.password = password_;
    const int a = Request(q);
    if (a == kAnswerCancel) return TResult::Cancelled;
    if (a != kAnswerOk) return TResult::WrongPassword;
    password_ = q.password;
  }
}

TResult TSession::DecodeMember(TMember& m, bool emit) {
  if (m.handled) return m.result;
  m.handled = true;
  const TFileHeader& f = m.first;
  TResult r = TResult::Ok;
  uint32_t crc = kCrcInit;
  bool checkCrc = !f.IsDir();
  try {
    if (f.IsDir() || f.origSize == 0) {
      FinishSegments(m);
    } else if (f.compType > kCompBlocked) {
      r = TResult::Unsupported;
      checkCrc = false;
    } else {
      r = PreparePassword(m);
      if (r == TResult::Ok) RunPass(m, emit, crc);
    }
  } catch (const TFailure& fail) {
    r = fail.result;
  }
  if (r == TResult::Ok && checkCrc && crc != m.last.crc) r = TResult::CrcError;
  m.result = r;
  if (emit && !cancelled_) {
    TState st;
    st.code = kStateCrc;
    st.entry = &m.info;
    st.result = static_cast<int>(r);
    st.crcOk = r == TResult::Ok;
    st.storedCrc = m.last.crc;
    st.computedCrc = crc;
    State(st);
  }
  return r;
}

}  // namespace ace
