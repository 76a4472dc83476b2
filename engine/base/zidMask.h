// Wildcard masks: the matcher behind the file scanner and the extractors'
// entry selection.
//
// Rules:
//  - "*" matches any run of characters (also none), "?" exactly one
//    character; a "?" right after a "*" is dropped, so "*?" is "*".
//  - Square brackets and every other character are literal.
//  - Case-insensitive for ASCII letters (unless compiled to match case exactly,
//    as the command line does for Unix names). Other bytes (UTF-8 sequences) are
//    compared as they are: "É" and "é" are different. "?" takes one whole
//    UTF-8 character; a byte that is not part of a valid sequence counts as
//    one character of its own, so names that are not UTF-8 still match.
//  - A mask ending in "." matches a name without any "." as if the name ended
//    in ".": "*." matches "readme" but not "readme.txt", "readme." matches
//    "readme".
//  - A mask holds at most kMaxMaskStars runs of stars ("**" counts once).
//    A longer mask does not compile and matches nothing.
//  - In mask lists an empty mask and "*.*" both become "*", so "*.*" there
//    also matches names without a dot. MatchesMask itself takes "*.*"
//    literally (a name must hold a dot).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zid {

constexpr int kMaxMaskStars = 30;

// Whether ASCII letters match either case.
enum class TMaskCase : uint8_t { Fold, Exact };

// One compiled mask.
class TInternalMask {
 public:
  TInternalMask() = default;
  explicit TInternalMask(std::string_view mask, TMaskCase c = TMaskCase::Fold) { Compile(mask, c); }

  // False (and an empty, never-matching mask) when the mask has more than
  // kMaxMaskStars star runs.
  bool Compile(std::string_view mask, TMaskCase c = TMaskCase::Fold);
  bool Valid() const { return valid_; }
  bool Matches(std::string_view name) const;

 private:
  enum class Kind : uint8_t { Literal, AnyChar, End };
  struct State {
    Kind kind;
    bool skipTo;   // a star came before: search forward for this state
    char ch;       // upper-cased literal (Literal only)
  };
  bool MatchFrom(std::string_view name) const;
  char Folded(char c) const { return fold_ && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

  std::vector<State> states_;
  bool fold_ = true;
  bool endsWithDot_ = false;
  bool valid_ = false;
};

// Compiles the mask, matches the name, releases the mask.
bool MatchesMask(std::string_view name, std::string_view mask);

// The list form of a mask: "" and "*.*" become "*".
std::string NormalizeMask(std::string_view mask);

// A set of masks compiled once; matches when any of them does.
class TMaskList {
 public:
  TMaskList() = default;
  explicit TMaskList(const std::vector<std::string>& masks) { Assign(masks); }
  void Assign(const std::vector<std::string>& masks);  // normalised as above
  void Add(std::string_view mask);                     // normalised as above
  void Clear() { masks_.clear(); }
  bool Empty() const { return masks_.empty(); }
  size_t Count() const { return masks_.size(); }
  bool Matches(std::string_view name) const;

 private:
  std::vector<TInternalMask> masks_;
};

}  // namespace zid
