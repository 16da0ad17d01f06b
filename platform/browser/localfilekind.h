#pragma once

#include <QString>

// What a local path names, found from its status alone: the file is never opened, so a named
// pipe with no writer, a socket or a device cannot block whoever asks.
namespace LocalFileKind {

enum class Kind {
    Missing, // nothing there (or a dangling link)
    Regular, // an ordinary file, the only kind a page is read from
    Folder,
    Special // a named pipe, a socket or a device
};

Kind of(const QString &path);

// Why the file cannot be read as a page ("is a folder", "is a named pipe"...); empty for an
// ordinary file and for a path where nothing is.
QString problem(const QString &path);

} // namespace LocalFileKind
