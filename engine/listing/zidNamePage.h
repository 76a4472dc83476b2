// The code page of an archive's unmarked names, decided once per archive.
#pragma once

#include <string>

namespace zid {

class TZipCommon;

// The page in which c's operations read the names of c.ArchiveFile that
// carry no mark of their encoding: c.NameCharset when set, else the page
// guessed from all those names together (a header walk that reports nothing,
// plat::DetectCharset), else CP437. Kept in c until ArchiveFile changes, so
// a listing and the extraction after it read the names alike.
std::string ArchiveNamePage(TZipCommon& c);

}  // namespace zid
