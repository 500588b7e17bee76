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

// Makes the icon of files (as make) the application's window icon once the first window a user sees
// is shown. Qt hands the application's icon to every window it creates, the tray icon's own window
// included (whose icon nobody sees), and sends it at every size; until a window is opened there is
// then no reason to read the files. Windows outside the window manager's care (the tray's, menus,
// tooltips) do not count. The files are then read on a worker and the icon, every size in memory,
// is given when they are in (from the event loop): the window's first show reads none of them.
// Call after the application object exists.
void setAppIconAtFirstWindow(std::vector<std::pair<QString, int>> files);
} // namespace LazyFileIcon
