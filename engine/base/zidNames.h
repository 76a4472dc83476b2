// Entry names as stored -> names as this system shows them (UTF-8).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zid {

// How a stored name's bytes are to be read.
struct TNameOrigin {
  bool utf8 = false;        // the archive marks the name as UTF-8
  bool unixHost = false;    // made on a Unix host: raw UTF-8 bytes are taken as they are
  bool translateOem = true; // the component's TranslateOemChar
};

// Decodes a stored name: marked UTF-8 names as they are; names from Unix
// hosts that are valid UTF-8 as they are (such writers store UTF-8 without a
// mark, and reading them as CP437 would mangle every accented name);
// otherwise, when translateOem is set, in the name page of the operation in
// hand (TNamePageScope: the user's page, else the archive's detected one,
// else CP437), else the bytes unchanged. A byte the page cannot map is
// shown as "%XX" (platform/charset.h).
std::string DecodeEntryName(std::string_view raw, const TNameOrigin& origin);

// DecodeEntryName for a stored path whose folders are split by "\" or "/":
// the separators are looked for in the decoded name, each run of them made
// one "/". In Shift-JIS, GBK and Big5 the second byte of a character may be
// 0x5C, so splitting the stored bytes first would cut such characters in two.
std::string DecodeEntryPath(std::string_view raw, const TNameOrigin& origin);

// The name page of one operation on one archive. While a scope lives, the
// names DecodeEntryName reads in a page are read in `page`; with `collect`
// set, their stored bytes are also appended there (the detection walk); a
// scope opened inside a collecting one collects too. With `decide` set, the
// page is asked for the first time a name needs one (names in ASCII or marked
// UTF-8 read the same in every page, so most archives never ask).
struct TNamePage {
  std::string page = "CP437";
  std::vector<std::string>* collect = nullptr;
  std::function<std::string()> decide;
};
class TNamePageScope {
 public:
  explicit TNamePageScope(TNamePage page);
  ~TNamePageScope();
  TNamePageScope(const TNamePageScope&) = delete;
  TNamePageScope& operator=(const TNamePageScope&) = delete;

 private:
  TNamePage page_;
  TNamePage* saved_;
};

// The stored bytes and page of a recent DecodeEntryName call that read a
// name in a page and gave `decoded` ("\" and "/" alike); false when none
// did (the name was marked UTF-8, or decoded elsewhere). Forgets them all.
bool RecentPageName(const std::string& decoded, std::string& raw, std::string& page);

}  // namespace zid
