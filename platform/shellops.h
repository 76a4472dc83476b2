// Desktop actions.
#pragma once

#include <string>

namespace plat {

// Moves a file or folder to the freedesktop trash ($XDG_DATA_HOME/Trash, with
// its .trashinfo), without asking. False when it could not be done.
bool DeleteToTrash(const std::string& path);
// Opens a document or an address with the desktop's default program
// (xdg-open, started detached). False when no program could be started.
bool OpenDocument(const std::string& pathOrUrl);

}  // namespace plat
