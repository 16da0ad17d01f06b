#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

// Makes a folder unwritable even for root (the immutable attribute), or at least for others.
// Undone by the destructor so that the temporary folder can be removed.
class LockedFolder {
public:
    explicit LockedFolder(const QString &path) : m_path(path.toLocal8Bit())
    {
        m_immutable = setImmutable(true);
        if (!m_immutable)
            ::chmod(m_path.constData(), 0555);
    }
    ~LockedFolder()
    {
        if (m_immutable)
            setImmutable(false);
        else
            ::chmod(m_path.constData(), 0755);
    }
    // Whether creating a file inside really fails, whoever runs the test.
    bool isLocked() const
    {
        const QByteArray probe = m_path + "/probe";
        const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0)
            return true;
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }

private:
    bool setImmutable(bool on)
    {
        const int fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    QByteArray m_path;
    bool m_immutable = false;
};
