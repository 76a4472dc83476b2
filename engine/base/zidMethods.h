// Compression methods: one constant record per method of a family, one table
// per family. Listings take their method names from it, extractors their
// decoders and the "is it supported" answer, writers, the command line and the
// window their choice of methods.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/base/zidDecoder.h"
#include "engine/base/zidTypes.h"

namespace zid {

struct TMethod;

// Decodes one entry's data with a method of the table. flags: what the entry's
// header says beside the method number (the ZIP general purpose flags: the
// sizes of an imploded entry), 0 where a family has none.
using TMethodDecode = int (*)(const TDecodeJob& job, const TMethod& m, uint32_t flags);

// No writer's method: the record is only read.
inline constexpr TCompressMethod kNoWriterMethod = static_cast<TCompressMethod>(0xFF);

struct TMethod {
  int id = -1;                     // the method as stored (a number; LHA: the digit or letter of "-lh5-")
  const char* tag = nullptr;       // the method as a stored text ("-lh5-"), where a family stores one
  const char* name = "";           // as listings show it ("Frozen-5")
  TMethodDecode decode = nullptr;  // nullptr: listed, not extracted
  unsigned dicBit = 0;             // LZ methods: the window is 1 << dicBit bytes
  unsigned pBit = 0;               // LZH methods: bit width of the position-code count
  TCompressMethod writes = kNoWriterMethod;  // the writer's method this record writes
  const char* cliName = nullptr;   // its name on the command line ("lh5"), where the writer offers it
  // Decodes a small stream held whole in memory in one call (true: done,
  // *made bytes); false leaves the bytes to `decode`. Null: no such way.
  bool (*decodeWhole)(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap, size_t* made) = nullptr;

  bool Decodes() const { return decode != nullptr; }
};

// The methods of one family.
class TMethodTable {
 public:
  TMethodTable(std::initializer_list<TMethod> methods, const char* unknown = "Unsupported");

  const std::vector<TMethod>& All() const { return methods_; }
  // nullptr when the family has no such method.
  const TMethod* Find(int id) const;
  const TMethod* FindTag(const std::string& tag) const;
  const TMethod* FindWriter(TCompressMethod m) const;
  const TMethod* FindCli(const std::string& cliName) const;
  // The listing name, or the family's word for a method it does not know.
  std::string Name(int id) const;
  std::string TagName(const std::string& tag) const;
  // A method as a refusal names it: "BZip2 (method 12)", or "method 12" for
  // one the table does not know.
  std::string Described(int id) const;
  const char* Unknown() const { return unknown_; }
  // The writer's methods, in the table's order.
  std::vector<TCompressMethod> WriterMethods() const;
  // "store, deflate": the command-line names the writer offers.
  std::string CliNames() const;

 private:
  std::vector<TMethod> methods_;
  const char* unknown_;
  // Find by id without a search for ids below kDirect (every entry asks).
  static constexpr int kDirect = 128;
  int16_t direct_[kDirect];  // index into methods_, -1: none
};

// The Deflate flavour of a ZIP or BH entry from its general purpose flags:
// "DeflateN" ... "DeflateS", "Def-64N" ... for Deflate64.
const char* DeflateName(uint32_t flags, bool deflate64);

}  // namespace zid
