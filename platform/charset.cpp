#include "platform/charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "platform/codepage.h"

namespace plat {

namespace {

struct TAlias {
  const char* name;
  const char* canonical;
};

// The names users, uchardet and other tools give the pages of legacy names.
constexpr TAlias kAliases[] = {
    {"437", "CP437"},          {"IBM437", "CP437"},       {"OEM", "CP437"},         {"DOS", "CP437"},
    {"850", "CP850"},          {"IBM850", "CP850"},       {"852", "CP852"},         {"IBM852", "CP852"},
    {"855", "CP855"},          {"IBM855", "CP855"},       {"857", "CP857"},         {"IBM857", "CP857"},
    {"858", "CP858"},          {"IBM858", "CP858"},       {"860", "CP860"},         {"IBM860", "CP860"},
    {"861", "CP861"},          {"IBM861", "CP861"},       {"862", "CP862"},         {"IBM862", "CP862"},
    {"863", "CP863"},          {"IBM863", "CP863"},       {"865", "CP865"},         {"IBM865", "CP865"},
    {"866", "CP866"},          {"IBM866", "CP866"},       {"869", "CP869"},         {"IBM869", "CP869"},
    {"1250", "CP1250"},        {"WINDOWS-1250", "CP1250"}, {"1251", "CP1251"},       {"WINDOWS-1251", "CP1251"},
    {"1252", "CP1252"},        {"WINDOWS-1252", "CP1252"}, {"1253", "CP1253"},       {"WINDOWS-1253", "CP1253"},
    {"1254", "CP1254"},        {"WINDOWS-1254", "CP1254"}, {"1255", "CP1255"},       {"WINDOWS-1255", "CP1255"},
    {"1256", "CP1256"},        {"WINDOWS-1256", "CP1256"}, {"1257", "CP1257"},       {"WINDOWS-1257", "CP1257"},
    {"SHIFT_JIS", "CP932"},    {"SHIFT-JIS", "CP932"},    {"SJIS", "CP932"},        {"MS932", "CP932"},
    {"932", "CP932"},          {"WINDOWS-31J", "CP932"},  {"MS_KANJI", "CP932"},    {"CP936", "GBK"},
    {"936", "GBK"},            {"GB2312", "GBK"},         {"EUC-CN", "GBK"},        {"UHC", "CP949"},
    {"EUC-KR", "CP949"},       {"949", "CP949"},          {"KS_C_5601-1987", "CP949"}, {"BIG-5", "BIG5"},
    {"CP950", "BIG5"},         {"950", "BIG5"},           {"UTF8", "UTF-8"},
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// One open converter per page and direction, kept for the process: names
// are converted one at a time, and iconv_open costs more than a short name.
class TConverters {
 public:
  // (iconv_t)-1 when iconv does not know the page.
  iconv_t Get(const std::string& to, const std::string& from) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = to + '\n' + from;
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    open_.emplace(key, cd);
    return cd;
  }
  std::mutex& Mutex() { return use_; }

 private:
  std::mutex mutex_;
  std::mutex use_;
  std::unordered_map<std::string, iconv_t> open_;
};

TConverters& Converters() {
  static TConverters* c = new TConverters;  // never freed: used until exit
  return *c;
}

void AppendEscape(std::string& out, unsigned char b) {
  char hex[4];
  std::snprintf(hex, sizeof hex, "%%%02X", b);
  out += hex;
}

// ASCII must come through unchanged, so that separators and dots are the stored ones.
bool AsciiCompatible(const std::string& charset) {
  std::string ascii;
  for (int c = 0x20; c < 0x7F; ++c) ascii += static_cast<char>(c);
  if (charset == "CP932") ascii.erase(ascii.find('\\'), 1);  // some iconvs read 0x5C as the yen sign
  std::string back = DecodeCharset(ascii, charset);
  return back == ascii;
}

}  // namespace

std::string CanonicalCharset(std::string_view name) {
  std::string n = Upper(name);
  while (!n.empty() && (n.back() == ' ')) n.pop_back();
  if (n.empty()) return std::string();
  for (const TAlias& a : kAliases) {
    if (n == a.name) {
      n = a.canonical;
      break;
    }
  }
  if (n == "CP437" || n == "UTF-8") return n;
  if (n.find_first_of("/\\") != std::string::npos) return std::string();  // iconv's //TRANSLIT and the like
  if (Converters().Get("UTF-8", n) == reinterpret_cast<iconv_t>(-1)) return std::string();
  if (!AsciiCompatible(n)) return std::string();
  return n;
}

// Converts `in` through `cd` into `out`. At a byte it cannot convert, `stuck`
// says whether to go on past it (true) or to fail (false); a character the
// page replaced by another (an irreversible conversion) fails too, as does
// any stuck byte when `stuck` says so.
namespace {

template <class Stuck>
bool RunIconv(iconv_t cd, std::string_view text, std::string& out, Stuck stuck) {
  std::lock_guard<std::mutex> lock(Converters().Mutex());
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buf[256];
  bool exact = true;
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      if (!stuck(static_cast<unsigned char>(*in))) return false;
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (r != static_cast<size_t>(-1) && r > 0) {
      exact = false;  // some character was replaced
    }
  }
  char* o = buf;
  size_t oLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &o, &oLeft);  // a stateful page's closing shift
  out.append(buf, static_cast<size_t>(o - buf));
  return exact;
}

}  // namespace

std::string DecodeCharset(std::string_view raw, const std::string& charset) {
  if (charset == "CP437") return OemToAnsi(raw);
  std::string out;
  if (charset == "UTF-8") {
    size_t i = 0;
    while (i < raw.size()) {
      const size_t at = i;
      if (NextCodePoint(raw, i) < 0) {
        AppendEscape(out, static_cast<unsigned char>(raw[at]));
        i = at + 1;
      } else {
        out.append(raw.substr(at, i - at));
      }
    }
    return out;
  }
  iconv_t cd = Converters().Get("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char c : raw) {
      auto b = static_cast<unsigned char>(c);
      if (b < 0x80) out += c; else AppendEscape(out, b);
    }
    return out;
  }
  // A byte with no character here (EILSEQ) or a cut sequence (EINVAL) is
  // escaped, and the conversion goes on from the next byte.
  RunIconv(cd, raw, out, [&out](unsigned char b) {
    AppendEscape(out, b);
    return true;
  });
  return out;
}

bool EncodeCharset(std::string_view utf8, const std::string& charset, std::string& out) {
  if (!IsValidUtf8(utf8)) return false;
  if (charset == "UTF-8") {
    out.assign(utf8);
    return true;
  }
  if (charset == "CP437") return AnsiToOem(utf8, out);
  iconv_t cd = Converters().Get(charset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  if (!RunIconv(cd, utf8, result, [](unsigned char) { return false; })) return false;
  out = std::move(result);
  return true;
}

}  // namespace plat
