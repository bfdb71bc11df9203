#include "PlatformFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const std::wstring& path)
{
    return QFile::encodeName(QString::fromStdWString(path));
}

} // namespace

unsigned long long platform::diskFreeBytes(const std::wstring& path)
{
    if (path.empty())
        return 0;
    // A recording folder may not exist yet; its volume is that of the nearest existing parent.
    QString folder = QFileInfo(QString::fromStdWString(path)).absoluteFilePath();
    while (!QFileInfo::exists(folder)) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return 0;
        folder = parent;
    }
    struct statvfs st
    {
    };
    if (statvfs(QFile::encodeName(folder).constData(), &st) != 0)
        return 0;
    return static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
}

platform::CreateFileResult platform::createAndRemoveFile(const std::wstring& filePath)
{
    const QByteArray name = nativePath(filePath);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST)
            return CreateFileResult::Exists;
        if (error == EACCES || error == EPERM || error == EROFS)
            return CreateFileResult::AccessDenied;
        return CreateFileResult::Failed;
    }
    ::close(fd);
    ::unlink(name.constData());
    return CreateFileResult::Created;
}

bool platform::setHiddenSystem(const std::wstring&)
{
    return false;
}

namespace {

bool syncPath(const std::wstring& path, int flags)
{
    const int fd = ::open(nativePath(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace

bool platform::syncFile(const std::wstring& path)
{
    return syncPath(path, O_RDONLY);
}

bool platform::syncFolder(const std::wstring& path)
{
    return syncPath(path, O_RDONLY | O_DIRECTORY);
}

bool platform::renameFile(const std::wstring& from, const std::wstring& to)
{
    const QByteArray source = nativePath(from);
    const QByteArray target = nativePath(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: test first, then rename.
    if (::access(target.constData(), F_OK) == 0)
        return false;
    return ::rename(source.constData(), target.constData()) == 0;
}

bool platform::isOwnFolder(const std::wstring& path)
{
    struct stat st
    {
    };
    return ::lstat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool platform::isOwnFile(const std::wstring& path)
{
    struct stat st
    {
    };
    return ::lstat(nativePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool platform::createPrivateFolder(const std::wstring& path)
{
    if (::mkdir(nativePath(path).constData(), 0700) == 0)
        return true;
    return errno == EEXIST && isOwnFolder(path);
}

bool platform::nameTaken(const std::wstring& path)
{
    struct stat st
    {
    };
    return ::lstat(nativePath(path).constData(), &st) == 0;
}

int platform::createNewFile(const std::wstring& path)
{
    return ::open(nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}
