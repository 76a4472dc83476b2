// The error codes of the engine and their messages.
#pragma once

#include <string>
#include <vector>

namespace zid {

struct ErrorEntry {
  int code;
  const char* text;
};

// The whole table in code order.
const std::vector<ErrorEntry>& ErrorTable();
// The message of a code; "" for a code that is not in the table.
std::string LoadStr(int code);

// Codes the engine emits by name.
enum ErrorCode : int {
  E_ACELIBRARY = 25103,
  E_BADFILEHEADER = 25114,
  E_BADLOCALOFFSET = 25115,
  E_BADBLOCK = 25116,
  E_WRITEERROR = 25136,
  E_CLOSEERROR = 25138,
  E_INCOMPLETECODESET = 25139,
  E_CORRUPTINPUT = 25140,
  E_CRCERROR = 25151,
  E_SPANLABEL = 25154,
  E_INVALIDDIR = 25158,
  E_DISKFULL = 25160,
  E_NOTACCESSIBLE = 25170,
  E_WRITEPROTECTED = 25171,
  E_GZEOFNOTFOUND = 25179,
  E_SAMEFILE = 25191,
  E_FILENOTFOUND = 25192,
  E_OPENERROR = 25235,
  E_READERROR = 25236,
  E_BADARCTYPE = 25244,
  E_BADFILENAME = 25245,
  E_MAXVOLUMES = 25251,
  E_OUTOFMEMORY = 25253,
  E_STREAMEXPAND = 25254,
  E_CABDLL = 25261,
  E_MULTIGZIP = 25264,
  E_TOOMANYDIRS = 25265,
  E_NOTHINGTODO = 25268,
  E_REQUIREDEVENT = 25270,
  E_REQUIREDPROPERTY = 25271,
  E_PASSWORDPROTECTED = 25290,
  E_SEEKERROR = 25293,
  E_STACKOVERFLOW = 25305,
  // A file or an archive the format cannot hold (the extra words say which limit).
  E_FORMATLIMIT = 25299,
  E_UNSUPPORTEDMETHOD = 25326,
  E_UNKNOWNFILETYPE = 25327,
  E_UNKNOWNERROR = 25355,
  E_VERSIONERROR = 25402,
  E_USERCANCELED = 25443,
  E_VOLUMEORDER = 25446,
  E_INVALIDPASSWORD = 26517,
  E_SKIPPEDFILE = 26800,
  E_PASSWORDFAILED = 26522,
  E_NOTHINGTODO2 = 26859,
  E_CREATETEMPDIR = 26899,
  E_CREATEDIRERROR = 25150,
};

}  // namespace zid
