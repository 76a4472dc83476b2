// The piece a volume set is read from. A set opened from any of its pieces
// (zip -s's ".z01", arj -v's ".a01", old RAR's ".r00") is read from the piece
// that leads it: for ZIP the ".zip" (the last, which holds the directory),
// for ARJ and RAR the first volume (".arj", ".rar"); for a cabinet the first
// cabinet its "previous cabinet" names lead back to.
#pragma once

#include <string>

namespace zid {

// The leading piece of the set `path` belongs to, when `path` is a numbered
// piece and the leading one exists beside it; otherwise `path` itself.
std::string LeadingPieceOf(const std::string& path);

// The cabinet beside `missing` whose "previous cabinet" is `missing`: where a
// set goes on past a cabinet that is not there; "" when none is.
std::string CabinetAfter(const std::string& missing);

}  // namespace zid
