#include "QRecordSafety.h"

#include "PlatformFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

const QString QRecordSafety::SAVED_MARK = QStringLiteral("saved.txt");

namespace {

bool sync(const QString& path)
{
    return platform::syncFile(QDir::toNativeSeparators(path).toStdWString());
}

bool syncFolderOf(const QString& path)
{
    return platform::syncFolder(QDir::toNativeSeparators(QFileInfo(path).absolutePath()).toStdWString());
}

} // namespace

QFileInfoList QRecordSafety::segments(const QString& folder, const QString& mergedPrefix)
{
    if (folder.isEmpty())
        return {};
    QFileInfoList all =
        QDir(folder).entryInfoList({QStringLiteral("*.bak")}, QDir::Files | QDir::NoSymLinks, QDir::Time);
    std::reverse(all.begin(), all.end());
    QFileInfoList own;
    QFileInfoList merged;
    for (const QFileInfo& fi : all)
        (!mergedPrefix.isEmpty() && fi.fileName().startsWith(mergedPrefix) ? merged : own).append(fi);
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

QStringList QRecordSafety::unfinishedFolders(const QString& base, const QString& mergedPrefix,
                                             const QString& exclude)
{
    QStringList found;
    const QFileInfoList folders =
        QDir(base).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& folder : folders) {
        const QString path = folder.filePath();
        if ((!exclude.isEmpty() && QFileInfo(exclude).absoluteFilePath() == folder.absoluteFilePath()) ||
            QFileInfo::exists(path + QLatin1Char('/') + SAVED_MARK))
            continue;
        const QFileInfoList list = segments(path, mergedPrefix);
        if (std::any_of(list.begin(), list.end(), [](const QFileInfo& fi) { return fi.size() > 0; }))
            found.append(path);
    }
    return found;
}

bool QRecordSafety::placeFile(const QString& from, const QString& to)
{
    if (!QFileInfo(from).isFile() || QFileInfo::exists(to))
        return false;
    // The data first: a rename that reaches the disk before the data would leave an empty file
    // under the final name, and the work files are removed after this returns.
    sync(from);
    if (platform::renameFile(QDir::toNativeSeparators(from).toStdWString(),
                             QDir::toNativeSeparators(to).toStdWString())) {
        syncFolderOf(to);
        syncFolderOf(from);
        return true;
    }
    if (!QFile::copy(from, to)) {
        QFile::remove(to);
        return false;
    }
    if (!sync(to) || QFileInfo(to).size() != QFileInfo(from).size()) {
        QFile::remove(to);
        return false;
    }
    syncFolderOf(to);
    return true;
}

void QRecordSafety::markSaved(const QString& folder, const QString& savedFile)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    const QString mark = folder + QLatin1Char('/') + SAVED_MARK;
    QFile file(mark);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(savedFile.toUtf8() + '\n');
        file.close();
        sync(mark);
        syncFolderOf(mark);
    }
}
