#include "localfilekind.h"

#include <QFile>

#include <sys/stat.h>

namespace LocalFileKind {

namespace {

bool status(const QString &path, struct stat &info)
{
    // stat follows links: a link is what it points to.
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace

Kind of(const QString &path)
{
    struct stat info;
    if (!status(path, info))
        return Kind::Missing;
    if (S_ISREG(info.st_mode))
        return Kind::Regular;
    if (S_ISDIR(info.st_mode))
        return Kind::Folder;
    return Kind::Special;
}

QString problem(const QString &path)
{
    struct stat info;
    if (!status(path, info) || S_ISREG(info.st_mode))
        return QString();
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("is a folder");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("is a named pipe, not a file");
    if (S_ISSOCK(info.st_mode))
        return QStringLiteral("is a socket, not a file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("is a device, not a file");
    return QStringLiteral("is not a regular file");
}

} // namespace LocalFileKind
