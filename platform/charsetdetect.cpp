// The guess of an archive's name page.
//
// libuchardet sees all names of the archive at once. On a few short names it
// is often wrong: Western DOS names come back as WINDOWS-1250 or
// MAC-CENTRALEUROPE, a single Shift-JIS or GBK name as WINDOWS-1252 or
// KOI8-R. So its answer is taken as it is only for the pages it tells apart
// well (the Cyrillic and CJK ones, IBM852) and only when every name is valid
// in it; otherwise every candidate page is tried on the names and scored by
// what the names become: letters of one script per word and CJK characters
// score, symbols, box drawing and controls cost. A page in which a name is
// not valid is out. Ties keep the earlier page of the candidate list, so
// CP437 wins whenever the names read the same in it.
#include <uchardet/uchardet.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/charset.h"
#include "platform/codepage.h"

namespace plat {

namespace {

// Candidates, in the order that breaks ties.
constexpr const char* kCandidates[] = {"CP437", "CP850", "CP866", "CP852", "CP1252", "CP1251",
                                       "CP1250", "CP932", "GBK", "CP949", "BIG5"};

// Pages uchardet names reliably (when the names are valid in them).
bool TrustedAnswer(const std::string& page) {
  return page == "CP866" || page == "CP1251" || page == "CP852" || page == "CP932" || page == "GBK" ||
         page == "GB18030" || page == "CP949" || page == "BIG5";
}

bool Allowed(const std::string& page) {
  if (page == "GB18030") return true;
  for (const char* c : kCandidates) {
    if (page == c) return true;
  }
  return false;
}

enum class TScript { None, Latin, Greek, Cyrillic, Cjk };

bool In(uint32_t cp, std::u32string_view set) { return set.find(static_cast<char32_t>(cp)) != std::u32string_view::npos; }

// Letters that names in their scripts are made of; the rarer ones (Icelandic
// capitals, the less used Cyrillic letters) are worth less, so that two-byte
// CJK characters read as two of them do not outscore the CJK page.
constexpr std::u32string_view kRareLatin = U"\u00C0\u00C1\u00C2\u00C3\u00C8\u00CA\u00CB\u00CC\u00CD\u00CE\u00CF\u00D0\u00D2\u00D3\u00D4\u00D5\u00D9\u00DA\u00DB\u00DD\u00DE\u00F0\u00FE";
constexpr std::u32string_view kCommonLatinExtended = U"\u0104\u0105\u0106\u0107\u010C\u010D\u0118\u0119\u011A\u011B\u0141\u0142\u0143\u0144\u0150\u0151\u0158\u0159\u015A\u015B\u0160\u0161\u016E\u016F\u0170\u0171\u0179\u017A\u017B\u017C\u017D\u017E";
constexpr std::u32string_view kCommonCyrillic = U"\u0410\u0412\u0414\u0415\u0418\u041A\u041B\u041C\u041D\u041E\u041F\u0420\u0421\u0422\u0423"
                                                U"\u0430\u0432\u0434\u0435\u0438\u043A\u043B\u043C\u043D\u043E\u043F\u0440\u0441\u0442\u0443";

// What one character of a decoded name says about the page: its script, and
// its worth in `page` (letters +1 or +2, CJK characters +4 as they take two
// bytes, the rest a cost).
int Worth(uint32_t cp, const std::string& page, TScript& script) {
  script = TScript::None;
  if (cp < 0x80) {
    if ((cp | 0x20) >= 'a' && (cp | 0x20) <= 'z') script = TScript::Latin;
    return 0;
  }
  if ((cp >= 0xC0 && cp <= 0x24F && cp != 0xD7 && cp != 0xF7)) {
    script = TScript::Latin;
    if (cp >= 0x100) return In(cp, kCommonLatinExtended) ? 2 : 1;
    return In(cp, kRareLatin) ? 1 : 2;
  }
  if (cp >= 0x386 && cp <= 0x3CE) {
    script = TScript::Greek;
    return 1;
  }
  if (cp >= 0x400 && cp <= 0x45F) {
    script = TScript::Cyrillic;
    return In(cp, kCommonCyrillic) ? 2 : 1;
  }
  if ((cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xAC00 && cp <= 0xD7A3)) {
    script = TScript::Cjk;
    return 4;
  }
  if (cp >= 0x3041 && cp <= 0x30FF) {  // kana: Japanese names have them, Chinese and Korean ones hardly
    script = TScript::Cjk;
    return page == "CP932" ? 4 : -2;
  }
  if (cp >= 0x3000 && cp <= 0x303F) return 1;                  // CJK punctuation
  if (cp >= 0xFF01 && cp <= 0xFF5E) return 1;                  // full-width ASCII
  if (cp == 0xA0 || (cp >= 0xA1 && cp <= 0xBF)) return -3;     // Latin-1 signs
  return -4;                                                   // box drawing, maths, controls, half-width kana, the rest
}

// Capitals of the scripts above (Latin Extended-A alternates capital and small).
bool IsCapital(uint32_t cp) {
  if (cp >= 0xC0 && cp <= 0xDE) return cp != 0xD7;
  if (cp >= 0x100 && cp <= 0x137) return cp % 2 == 0;
  if (cp >= 0x139 && cp <= 0x148) return cp % 2 == 1;
  if (cp >= 0x14A && cp <= 0x177) return cp % 2 == 0;
  if (cp == 0x178) return true;
  if (cp >= 0x179 && cp <= 0x17E) return cp % 2 == 1;
  return (cp >= 0x410 && cp <= 0x42F) || (cp >= 0x400 && cp <= 0x40F) || (cp >= 0x391 && cp <= 0x3AB);
}

// The score of the names read in `page`; false when a name is not valid there.
bool Score(const std::vector<std::string>& names, const std::string& page, long& score) {
  score = 0;
  for (const std::string& raw : names) {
    const std::string text = DecodeCharset(raw, page);
    if (text.find('%') != std::string::npos && raw.find('%') == std::string::npos) return false;
    TScript last = TScript::None;
    bool lastUpper = false;
    size_t i = 0;
    while (i < text.size()) {
      const int32_t cp = NextCodePoint(text, i);
      if (cp < 0) return false;
      TScript s;
      score += Worth(static_cast<uint32_t>(cp), page, s);
      if (s == TScript::None) {
        last = TScript::None;
        continue;
      }
      // A word that changes script, or goes from a small letter to a capital
      // outside ASCII, is what a wrong page makes of a name.
      const bool upper = IsCapital(static_cast<uint32_t>(cp));
      if (last != TScript::None && last != s) score -= 3;
      if (last == s && s != TScript::Cjk && cp >= 0x80 && upper && !lastUpper) score -= 2;
      last = s;
      lastUpper = upper;
    }
  }
  return true;
}

// uchardet's answer for the names, as a canonical page (empty when none).
std::string AskUchardet(const std::vector<std::string>& names) {
  uchardet_t ud = uchardet_new();
  if (ud == nullptr) return std::string();
  for (const std::string& n : names) {
    uchardet_handle_data(ud, n.data(), n.size());
    uchardet_handle_data(ud, "\n", 1);
  }
  uchardet_data_end(ud);
  const char* answer = uchardet_get_charset(ud);
  std::string page = answer != nullptr ? CanonicalCharset(answer) : std::string();
  uchardet_delete(ud);
  return page;
}

}  // namespace

// A page that reads the names as CP437 does is CP437.
std::string Plainest(const std::vector<std::string>& names, const std::string& page) {
  for (const std::string& n : names) {
    if (DecodeCharset(n, page) != DecodeCharset(n, kDefaultNamePage)) return page;
  }
  return kDefaultNamePage;
}

std::string DetectCharset(const std::vector<std::string>& names) {
  std::vector<std::string> legacy;
  for (const std::string& n : names) {
    if (!IsAscii(n)) legacy.push_back(n);
  }
  if (legacy.empty()) return kDefaultNamePage;
  const std::string answer = AskUchardet(legacy);
  long score = 0;
  if (TrustedAnswer(answer) && Score(legacy, answer, score)) return Plainest(legacy, answer);
  std::string best = kDefaultNamePage;
  long bestScore = 0;
  bool first = true;
  for (const char* c : kCandidates) {
    long s = 0;
    if (!Score(legacy, c, s)) continue;
    if (c == answer) ++s;  // uchardet breaks a tie
    if (first || s > bestScore) {
      best = c;
      bestScore = s;
      first = false;
    }
  }
  if (bestScore <= 0) return kDefaultNamePage;
  return Allowed(best) ? Plainest(legacy, best) : std::string(kDefaultNamePage);
}

}  // namespace plat
