#include "engine/listing/zidNamePage.h"

#include <vector>

#include "engine/base/zidNames.h"
#include "engine/listing/zidRizER.h"
#include "platform/charset.h"

namespace zid {

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

}  // namespace zid
