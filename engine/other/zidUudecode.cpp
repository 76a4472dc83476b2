#include "engine/other/zidUudecode.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zid {

namespace {

constexpr size_t kMaxLine = 4096;  // longer lines are not part of an encoded file

// Lines of a byte stream, CR LF or LF ended, longer ones cut (and marked).
class TLineReader {
 public:
  explicit TLineReader(std::function<int64_t(uint8_t*, int64_t)> read) : read_(std::move(read)) {}

  // The next line without its ending; false at the end of the input.
  bool Next(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    for (;;) {
      if (pos_ == len_) {
        if (eof_) return !line.empty();
        const int64_t got = read_(buf_, sizeof buf_);
        if (got <= 0) {
          eof_ = true;
          return !line.empty();
        }
        pos_ = 0;
        len_ = static_cast<size_t>(got);
      }
      const uint8_t* start = buf_ + pos_;
      const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(start, '\n', len_ - pos_));
      const size_t take = nl ? static_cast<size_t>(nl - start) : len_ - pos_;
      if (line.size() < kMaxLine) line.append(reinterpret_cast<const char*>(start), std::min(take, kMaxLine - line.size()));
      if (line.size() >= kMaxLine && take > 0) tooLong = tooLong || line.size() + take > kMaxLine;
      consumed_ += take + (nl ? 1 : 0);
      pos_ += take + (nl ? 1 : 0);
      if (nl) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
    }
  }
  // Bytes consumed up to the end of the last line returned.
  int64_t Consumed() const { return consumed_; }

 private:
  std::function<int64_t(uint8_t*, int64_t)> read_;
  uint8_t buf_[65536];
  size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  int64_t consumed_ = 0;
};

// The six bits of a uuencoded character; -1 outside the alphabet.
int UuValue(char c) { return c >= ' ' && c <= '`' ? (c - ' ') & 63 : -1; }

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsEnd(const std::string& line, bool base64) {
  if (base64) return line == "====";
  return line.compare(0, 3, "end") == 0 && line.find_first_not_of(' ', 3) == std::string::npos;
}

// Decodes one uuencoded line into out; false when it cannot be one.
bool UuLine(const std::string& line, std::string& out) {
  out.clear();
  if (line.empty()) return true;  // a blank line carries nothing
  const int n = UuValue(line[0]);
  if (n < 0) return false;
  const size_t need = 1 + (static_cast<size_t>(n) + 2) / 3 * 4;
  if (line.size() > need + 2) return false;  // a few writers add a check character
  for (size_t i = 1; static_cast<int>(out.size()) < n; i += 4) {
    int v[4];
    for (int k = 0; k < 4; ++k) {
      const char c = i + k < line.size() ? line[i + k] : ' ';
      v[k] = UuValue(c);
      if (v[k] < 0) return false;
    }
    const uint8_t b[3] = {static_cast<uint8_t>(v[0] << 2 | v[1] >> 4), static_cast<uint8_t>(v[1] << 4 | v[2] >> 2),
                          static_cast<uint8_t>(v[2] << 6 | v[3])};
    for (int k = 0; k < 3 && static_cast<int>(out.size()) < n; ++k) out.push_back(static_cast<char>(b[k]));
  }
  return true;
}

// base64 state across lines: the bits not yet a whole byte.
struct TBase64 {
  uint32_t bits = 0;
  int count = 0;
  bool padded = false;

  bool Line(const std::string& line, std::string& out) {
    out.clear();
    for (char c : line) {
      if (c == '=') {
        padded = true;
        continue;
      }
      if (c == ' ' || c == '\t') continue;
      const int v = Base64Value(c);
      if (v < 0 || padded) return false;
      bits = bits << 6 | static_cast<uint32_t>(v);
      count += 6;
      if (count >= 8) {
        count -= 8;
        out.push_back(static_cast<char>(bits >> count));
      }
    }
    return true;
  }
};

// Mode and name of a begin line; false when the line is not one.
bool BeginLine(const std::string& line, TUueFile& f) {
  size_t p;
  if (line.compare(0, 13, "begin-base64 ") == 0) {
    f.base64 = true;
    p = 13;
  } else if (line.compare(0, 6, "begin ") == 0) {
    f.base64 = false;
    p = 6;
  } else {
    return false;
  }
  while (p < line.size() && line[p] == ' ') ++p;
  uint32_t mode = 0;
  const size_t modeStart = p;
  while (p < line.size() && line[p] >= '0' && line[p] <= '7' && p - modeStart < 6) mode = mode * 8 + (line[p++] - '0');
  if (p == modeStart || p >= line.size() || line[p] != ' ') return false;
  while (p < line.size() && line[p] == ' ') ++p;
  f.name = line.substr(p);
  while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
  f.mode = mode;
  return !f.name.empty();
}

}  // namespace

std::vector<TUueFile> ScanUue(const TUueReadAt& read, int64_t size, const bool* cancel) {
  std::vector<TUueFile> files;
  int64_t at = 0;
  TLineReader lines([&](uint8_t* buf, int64_t n) {
    const int64_t got = at < size ? read(at, buf, std::min(n, size - at)) : 0;
    if (got > 0) at += got;
    return got;
  });
  std::string line, out;
  bool tooLong = false;
  TUueFile* open = nullptr;
  TBase64 b64;
  int64_t lineStart = 0;
  while (lines.Next(line, tooLong)) {
    if (cancel && *cancel) break;
    const int64_t next = lines.Consumed();
    if (open == nullptr) {
      TUueFile f;
      if (!tooLong && BeginLine(line, f)) {
        f.data = next;
        files.push_back(f);
        open = &files.back();
        b64 = TBase64{};
      }
    } else if (IsEnd(line, open->base64)) {
      open->dataEnd = lineStart;
      open->closed = true;
      open = nullptr;
    } else {
      // Sizes as the decoder will count them; a bad line ends the count (the decoder says why).
      if (!tooLong && (open->base64 ? b64.Line(line, out) : UuLine(line, out)))
        open->size += static_cast<int64_t>(out.size());
    }
    lineStart = next;
  }
  if (open != nullptr) open->dataEnd = lines.Consumed();
  return files;
}

int UuDecode(const TDecodeJob& job, bool base64) {
  int64_t budget = job.source.budget;
  TLineReader lines([&](uint8_t* buf, int64_t n) -> int64_t {
    if (budget >= 0) n = std::min(n, budget);
    const int64_t got = n > 0 && job.source.read ? job.source.read(buf, n) : 0;
    if (got > 0 && budget >= 0) budget -= got;
    return got;
  });
  std::string line, out;
  bool tooLong = false;
  TBase64 b64;
  int64_t done = 0;
  while (lines.Next(line, tooLong)) {
    if (DecodeCancelled(job)) return drCancelled;
    if (IsEnd(line, base64)) return drOk;
    if (tooLong || !(base64 ? b64.Line(line, out) : UuLine(line, out))) return drInvalidData;
    if (out.empty()) continue;
    int64_t n = static_cast<int64_t>(out.size());
    if (job.expectedSize >= 0 && done + n > job.expectedSize) return drInvalidData;
    if (job.sink.write(reinterpret_cast<const uint8_t*>(out.data()), n) != n) return drOutputFailed;
    done += n;
    if (job.progress) job.progress(done);
  }
  return drInputExhausted;
}

}  // namespace zid
