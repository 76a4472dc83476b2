#include "engine/listing/zidNamePage.h"

#include <vector>

#include "engine/base/zidNames.h"
#include "engine/listing/zidRizER.h"
#include "platform/charset.h"

namespace zid {

namespace {

// The guess reads a sample: this many bytes of names are plenty.
constexpr size_t kSampleBytes = 64 * 1024;

}  // namespace

std::string ArchiveNamePage(TZipCommon& c) {
  if (!c.NameCharset.empty()) {
    const std::string page = plat::CanonicalCharset(c.NameCharset);
    return page.empty() ? std::string(plat::kDefaultNamePage) : page;
  }
  if (!c.namePageFor.empty() && c.namePageFor == c.GetArchiveFile()) return c.namePage;
  std::vector<std::string> names;
  {
    // The walk decodes every name (in CP437, which never fails) and reports none.
    TRizER probe;
    probe.Detection() = c.Detection();
    probe.NameCharset = plat::kDefaultNamePage;
    probe.ShowEmptyDirs = true;
    probe.NameFilter = [](const std::string&) { return false; };
    size_t counted = 0, bytes = 0;
    bool* stop = probe.CancelFlag();  // quietly: the walk just ends
    probe.OnReadFile = [&](TZipCommon*, const std::string&) {
      for (; counted < names.size(); ++counted) bytes += names[counted].size();
      if (bytes >= kSampleBytes) *stop = true;
    };
    TNamePage collect;
    collect.collect = &names;
    TNamePageScope scope(collect);
    std::vector<std::string> none;
    probe.GetFileList(&none);
  }
  c.namePage = names.empty() ? std::string(plat::kDefaultNamePage) : plat::DetectCharset(names);
  c.namePageFor = c.GetArchiveFile();
  return c.namePage;
}

TNamePage OperationNamePage(TZipCommon& c) {
  TNamePage page;
  if (!c.NameCharset.empty() || (!c.namePageFor.empty() && c.namePageFor == c.GetArchiveFile())) {
    page.page = ArchiveNamePage(c);
  } else {
    page.decide = [&c] { return ArchiveNamePage(c); };
  }
  return page;
}

std::string UsedNamePage(TZipCommon& c) {
  if (!c.NameCharset.empty() || (!c.namePageFor.empty() && c.namePageFor == c.GetArchiveFile()))
    return ArchiveNamePage(c);
  return plat::kDefaultNamePage;
}

}  // namespace zid
