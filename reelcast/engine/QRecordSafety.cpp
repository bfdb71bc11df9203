#include "QRecordSafety.h"

#include "PlatformFiles.h"
#include "Utilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

const QString QRecordSafety::SAVED_MARK = QStringLiteral("saved.txt");
const QString QRecordSafety::LIST_FILE = QStringLiteral("concat.txt");

namespace {

const QString kStamp = QStringLiteral("\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{2}");
// The merged file's prefix in the source language; a translation may give another.
const QString kUntranslatedPrefix = QStringLiteral("Rec ");

std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool sync(const QString& path)
{
    return platform::syncFile(native(path));
}

bool syncFolderOf(const QString& path)
{
    return platform::syncFolder(native(QFileInfo(path).absolutePath()));
}

bool matches(const QString& pattern, const QString& text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch();
}

// Copies into a file created new, so that nothing at `to` is ever replaced or followed.
bool copyToNewFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const int fd = platform::createNewFile(native(to));
    if (fd < 0)
        return false;
    QFile target;
    if (!target.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    QByteArray block;
    while (!(block = source.read(1 << 20)).isEmpty()) {
        if (target.write(block) != block.size())
            return false;
    }
    return source.error() == QFileDevice::NoError && target.flush();
}

} // namespace

bool QRecordSafety::isWorkFolderName(const QString& name)
{
    return matches(kStamp + QStringLiteral("(-\\d{1,3})?"), name);
}

bool QRecordSafety::isSegmentName(const QString& name)
{
    return matches(kStamp + QStringLiteral("\\.bak"), name);
}

bool QRecordSafety::isMergedName(const QString& name, const QString& mergedPrefix)
{
    for (const QString& prefix : {mergedPrefix, kUntranslatedPrefix}) {
        if (!prefix.isEmpty() && name.startsWith(prefix) &&
            matches(kStamp + QStringLiteral("(-\\d{1,3})?\\.bak"), name.mid(prefix.size())))
            return true;
    }
    return false;
}

QFileInfoList QRecordSafety::segments(const QString& folder, const QString& mergedPrefix)
{
    if (folder.isEmpty() || !platform::isOwnFolder(native(folder)))
        return {};
    const QFileInfoList all =
        QDir(folder).entryInfoList({QStringLiteral("*.bak")}, QDir::Files | QDir::NoSymLinks, QDir::Name);
    QFileInfoList own;
    QFileInfoList merged;
    for (const QFileInfo& fi : all) {
        if (!platform::isOwnFile(native(fi.filePath())))
            continue;
        if (isSegmentName(fi.fileName()))
            own.append(fi);
        else if (isMergedName(fi.fileName(), mergedPrefix))
            merged.append(fi);
    }
    return own.isEmpty() ? merged : own;
}

qint64 QRecordSafety::lowSpaceLimit(const QString& workFolder, const QString& mergedPrefix)
{
    const QFileInfoList list = segments(workFolder, mergedPrefix);
    qint64 merge = 0;
    if (list.size() >= 2) {
        for (const QFileInfo& fi : list)
            merge += fi.size();
    }
    return kLowSpaceBytes + merge;
}

QStringList QRecordSafety::unfinishedFolders(const QStringList& bases, const QString& mergedPrefix,
                                             const QString& exclude)
{
    QStringList found;
    for (const QString& base : bases) {
        if (!platform::isOwnFolder(native(base)))
            continue;
        const QFileInfoList folders =
            QDir(base).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& folder : folders) {
            const QString path = QDir::cleanPath(folder.absoluteFilePath());
            if (!isWorkFolderName(folder.fileName()) || found.contains(path) ||
                (!exclude.isEmpty() && QDir::cleanPath(QFileInfo(exclude).absoluteFilePath()) == path) ||
                platform::nameTaken(native(path + QLatin1Char('/') + SAVED_MARK)))
                continue;
            const QFileInfoList list = segments(path, mergedPrefix);
            if (std::any_of(list.begin(), list.end(), [](const QFileInfo& fi) { return fi.size() > 0; }))
                found.append(path);
        }
    }
    // Oldest first, whichever base folder holds them.
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).fileName() < QFileInfo(b).fileName();
    });
    return found;
}

bool QRecordSafety::makePrivateFolder(const QString& path, bool hidden)
{
    if (!platform::createPrivateFolder(native(path)))
        return false;
    if (hidden)
        setHiddenSystem(native(path));
    return true;
}

QString QRecordSafety::freeName(const QString& path)
{
    if (!platform::nameTaken(native(path)))
        return path;
    const QFileInfo fi(path);
    const QString suffix = fi.suffix();
    const QString stem = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    for (int n = 1;; ++n) {
        const QString candidate =
            stem + QStringLiteral("-%1").arg(n) + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        if (!platform::nameTaken(native(candidate)))
            return candidate;
    }
}

bool QRecordSafety::writeNewFile(const QString& path, const QByteArray& data)
{
    const int fd = platform::createNewFile(native(path));
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    const bool written = file.write(data) == data.size() && file.flush();
    file.close();
    return written && sync(path);
}

bool QRecordSafety::placeFile(const QString& from, const QString& to)
{
    if (!platform::isOwnFile(native(from)) || platform::nameTaken(native(to)))
        return false;
    // The data first: a rename that reaches the disk before the data would leave an empty file
    // under the final name, and the work files are removed after this returns.
    sync(from);
    if (platform::renameFile(native(from), native(to))) {
        syncFolderOf(to);
        syncFolderOf(from);
        return true;
    }
    if (platform::nameTaken(native(to)))
        return false; // taken meanwhile: not ours to remove
    if (!copyToNewFile(from, to) || !sync(to) || QFileInfo(to).size() != QFileInfo(from).size()) {
        QFile::remove(to);
        return false;
    }
    syncFolderOf(to);
    return true;
}

void QRecordSafety::markSaved(const QString& folder, const QString& savedFile)
{
    if (folder.isEmpty() || !platform::isOwnFolder(native(folder)))
        return;
    const QString mark = folder + QLatin1Char('/') + SAVED_MARK;
    if (platform::isOwnFile(native(mark)))
        QFile::remove(mark);
    if (writeNewFile(mark, savedFile.toUtf8() + '\n'))
        syncFolderOf(mark);
}

void QRecordSafety::removeOwnFiles(const QString& folder, const QString& mergedPrefix,
                                   const QStringList& keep)
{
    if (folder.isEmpty() || !platform::isOwnFolder(native(folder)))
        return;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& fi : entries) {
        const QString name = fi.fileName();
        const bool own = isSegmentName(name) || isMergedName(name, mergedPrefix) || name == LIST_FILE ||
                         name == SAVED_MARK;
        // A link of one of those names is removed as a name; what it points to is untouched.
        if (own && !keep.contains(name))
            QFile::remove(fi.filePath());
    }
    QDir().rmdir(folder);
}
