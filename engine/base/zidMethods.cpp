#include "engine/base/zidMethods.h"

#include <algorithm>
#include <iterator>

namespace zid {

namespace {

template <class Pred>
const TMethod* FindIf(const std::vector<TMethod>& methods, Pred pred) {
  for (const TMethod& m : methods)
    if (pred(m)) return &m;
  return nullptr;
}

}  // namespace

TMethodTable::TMethodTable(std::initializer_list<TMethod> methods, const char* unknown)
    : methods_(methods), unknown_(unknown) {
  std::fill(std::begin(direct_), std::end(direct_), int16_t{-1});
  for (size_t i = methods_.size(); i-- > 0;) {
    const int id = methods_[i].id;
    if (id >= 0 && id < kDirect) direct_[id] = static_cast<int16_t>(i);  // the first record of an id wins
  }
}

const TMethod* TMethodTable::Find(int id) const {
  if (id >= 0 && id < kDirect) return direct_[id] < 0 ? nullptr : &methods_[static_cast<size_t>(direct_[id])];
  return FindIf(methods_, [id](const TMethod& m) { return m.id == id; });
}

const TMethod* TMethodTable::FindTag(const std::string& tag) const {
  return FindIf(methods_, [&tag](const TMethod& m) { return m.tag != nullptr && tag == m.tag; });
}

const TMethod* TMethodTable::FindWriter(TCompressMethod w) const {
  return FindIf(methods_, [w](const TMethod& m) { return m.writes == w; });
}

const TMethod* TMethodTable::FindCli(const std::string& cliName) const {
  return FindIf(methods_, [&cliName](const TMethod& m) { return m.cliName != nullptr && cliName == m.cliName; });
}

std::string TMethodTable::Name(int id) const {
  const TMethod* m = Find(id);
  return m != nullptr ? m->name : unknown_;
}

std::string TMethodTable::Described(int id) const {
  const TMethod* m = Find(id);
  const std::string number = "method " + std::to_string(id);
  return m != nullptr && *m->name ? std::string(m->name) + " (" + number + ")" : number;
}

std::vector<TCompressMethod> TMethodTable::WriterMethods() const {
  std::vector<TCompressMethod> r;
  for (const TMethod& m : methods_)
    if (m.writes != kNoWriterMethod) r.push_back(m.writes);
  return r;
}

std::string TMethodTable::CliNames() const {
  std::string r;
  for (const TMethod& m : methods_)
    if (m.cliName != nullptr) r += (r.empty() ? "" : ", ") + std::string(m.cliName);
  return r;
}

std::string TMethodTable::TagName(const std::string& tag) const {
  const TMethod* m = FindTag(tag);
  return m != nullptr ? m->name : unknown_;
}

const char* DeflateName(uint32_t flags, bool d64) {
  switch (flags & 6) {
    case 2: return d64 ? "Def-64X" : "DeflateX";
    case 4: return d64 ? "Def-64F" : "DeflateF";
    case 6: return d64 ? "Def-64S" : "DeflateS";
    default: return d64 ? "Def-64N" : "DeflateN";
  }
}

}  // namespace zid
