// The frame of the writer harnesses that read an existing archive: a writer
// that asks nothing (errors dropped, deletions final) and a delete pass that
// rewrites or copies every kept entry from what the writer read. The scratch
// file comes from fuzzrizer::WriteScratch.
#pragma once

#include <functional>
#include <string>

#include "engine/base/zidCompBase.h"
#include "fuzz_rizer.h"

namespace fuzzwriter {

inline void Quiet(zid::TCompBase& w) {
  w.OnError = fuzzrizer::Quiet;
  w.DeleteOptions = zid::doFinal;
}

// Deletes the entries named like "*a*" from the archive at path; setup
// adjusts the writer first.
template <class TWriter>
void DeleteSome(const std::string& path, const std::function<void(TWriter&)>& setup = nullptr) {
  TWriter del;
  Quiet(del);
  if (setup) setup(del);
  del.Switch = zid::swDelete;
  del.FileSpec = {"*a*"};
  del.SetArchiveFile(path);
  del.Compress();
}

}  // namespace fuzzwriter
