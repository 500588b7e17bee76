#pragma once
#include <QIcon>
#include <QSize>
#include <QString>
#include <utility>
#include <vector>

// An icon made of image files, one per size, that reads a file only the first time that size is
// drawn or asked for. A QIcon given the same files reads and decodes every one of them at once, which
// for the application's icon is work on the launch for a window that may not be opened at all.
// Sizes and picks follow QIcon's own: the smallest file at least as large as asked for (else the
// largest), scaled down to fit when it is larger.
namespace LazyFileIcon {
// files: (file name, its width and height in pixels), square images.
QIcon make(std::vector<std::pair<QString, int>> files);

// Gives the icon of files (as make) to each window a user sees, when it is shown and has no icon of
// its own. Not the application's icon: Qt hands that to every window it has created, the tray
// icon's, menus' and hidden ones included, converting and sending every size to the window system
// for each (about a millisecond a window). Windows outside the window manager's care (the tray's,
// menus, tooltips) do not count. The files are read on a worker at the first such show, so that
// show reads none of them; the windows shown meanwhile get the icon when they are in (from the event
// loop), every size in memory. Call after the application object exists.
void setWindowIconsAtShow(std::vector<std::pair<QString, int>> files);
} // namespace LazyFileIcon
