// The code page of an archive's unmarked names, decided once per archive.
#pragma once

#include <string>

#include "engine/base/zidNames.h"

namespace zid {

class TZipCommon;

// The page in which c's operations read the names of c.ArchiveFile that
// carry no mark of their encoding: c.NameCharset when set, else the page
// guessed from all those names together (a header walk that reports nothing,
// plat::DetectCharset), else CP437. Kept in c until ArchiveFile changes, so
// a listing and the extraction after it read the names alike.
std::string ArchiveNamePage(TZipCommon& c);

// The name page of one operation on c.ArchiveFile: the page when it is
// known already, else ArchiveNamePage asked the first time a name needs a
// page, so a walk over names in ASCII or marked UTF-8 never guesses.
TNamePage OperationNamePage(TZipCommon& c);

// The page an operation just run on c.ArchiveFile read its names in, without
// a walk of its own: the chosen or decided page, else the default (names
// that never needed a page read alike in every page).
std::string UsedNamePage(TZipCommon& c);

}  // namespace zid
