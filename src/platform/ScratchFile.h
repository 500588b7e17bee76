#pragma once
#include <QtGlobal>

// Files with no name, for bytes a job sets aside for a moment: gone however the process ends.
namespace ScratchFile {
// A file with no name in the folder of path (the temporary folder when path is null or empty), or -1.
int openBeside(const char *path);
// The whole of n bytes, or false.
bool writeAll(int fd, const char *p, qint64 n);
bool readAll(int fd, char *p, qint64 n);

// Closes the descriptor when it goes.
struct Fd {
    int fd;
    ~Fd();
};
} // namespace ScratchFile
