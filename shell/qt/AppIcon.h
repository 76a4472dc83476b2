// The program's icon, drawn here: a parcel with a zip fastener.
#pragma once

#include <QIcon>

namespace shell::qt {

QIcon AppIcon();

}  // namespace shell::qt
