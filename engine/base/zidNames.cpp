#include "engine/base/zidNames.h"

#include <algorithm>

#include "platform/charset.h"
#include "platform/codepage.h"

namespace zid {

namespace {

// One operation runs per thread at a time (the engine's rule), so the page
// of the operation in hand is the thread's.
thread_local TNamePage* currentPage = nullptr;

// The last few names read in a page: the walkers decode a name, sometimes a
// link target after it, then hand the name on.
struct TRecent {
  std::string decoded;
  std::string raw;
  std::string page;
};
constexpr size_t kRecent = 4;
thread_local TRecent recent[kRecent];
thread_local size_t recentNext = 0;

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] == '\\' ? '/' : a[i];
    const char y = b[i] == '\\' ? '/' : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

TNamePageScope::TNamePageScope(TNamePage page) : page_(std::move(page)), saved_(currentPage) {
  if (page_.collect == nullptr && saved_ != nullptr) page_.collect = saved_->collect;
  currentPage = &page_;
}

TNamePageScope::~TNamePageScope() { currentPage = saved_; }

std::string DecodeEntryName(std::string_view raw, const TNameOrigin& origin) {
  if (origin.utf8 && plat::IsValidUtf8(raw)) return std::string(raw);
  if (origin.unixHost && plat::IsValidUtf8(raw)) return std::string(raw);
  if (!origin.translateOem) return std::string(raw);
  if (plat::IsAscii(raw)) return std::string(raw);  // the same in every page: nothing to tell
  TNamePage* p = currentPage;
  if (p != nullptr && p->collect != nullptr) p->collect->emplace_back(raw);
  if (p != nullptr && p->decide) {
    auto decide = std::move(p->decide);
    p->decide = nullptr;
    p->page = decide();
    for (TRecent& r : recent) r.page.clear();  // the deciding walk's names are not this one's
  }
  const std::string page = p != nullptr ? p->page : plat::kDefaultNamePage;
  std::string out = plat::DecodeCharset(raw, page);
  TRecent& r = recent[recentNext];
  recentNext = (recentNext + 1) % kRecent;
  r.decoded = out;
  r.raw.assign(raw);
  r.page = page;
  return out;
}

std::string DecodeEntryPath(std::string_view raw, const TNameOrigin& origin) {
  const std::string decoded = DecodeEntryName(raw, origin);
  std::string out;
  out.reserve(decoded.size());
  for (char c : decoded) {
    if (c == '\\') c = '/';
    if (c != '/' || out.empty() || out.back() != '/') out += c;
  }
  // the entry report finds the stored bytes by the name the walker hands on
  TRecent& r = recent[(recentNext + kRecent - 1) % kRecent];
  if (!r.page.empty() && r.decoded == decoded && r.raw == raw) r.decoded = out;
  return out;
}

bool RecentPageName(const std::string& decoded, std::string& raw, std::string& page) {
  bool found = false;
  for (size_t k = 0; k < kRecent && !found; ++k) {
    const TRecent& r = recent[(recentNext + kRecent - 1 - k) % kRecent];
    if (!r.page.empty() && SameName(r.decoded, decoded)) {
      raw = r.raw;
      page = r.page;
      found = true;
    }
  }
  for (TRecent& r : recent) r.page.clear();  // the next entry starts afresh
  return found;
}

}  // namespace zid
