#pragma once

#include <QFileInfoList>
#include <QString>
#include <QStringList>

// What keeps a recording from being lost: which work folders hold a recording that was never
// saved, which of a folder's files are its segments, how much room the merge needs, and how the
// final file is put in place so that a power loss leaves either the work files or the complete
// saved file.
class QRecordSafety
{
public:
    // Below this many free bytes a recording is stopped, plus what its merge will write.
    static constexpr qint64 kLowSpaceBytes = 52428800;
    // Written into a work folder once its recording is saved; such a folder is not offered again.
    static const QString SAVED_MARK;

    // The segments of `folder` in recording order (oldest first). A merged file (its name begins
    // with `mergedPrefix`) counts only when it is all there is: a single segment renamed before
    // the program went down. Beside segments it is a merge that may not have finished.
    static QFileInfoList segments(const QString& folder, const QString& mergedPrefix);
    // The free space under which a recording in `workFolder` must stop so its merge still fits:
    // the merge of two or more segments writes them all once more; a single one is renamed.
    static qint64 lowSpaceLimit(const QString& workFolder, const QString& mergedPrefix);
    // Work folders under `base` (newest last) with segments of a recording never saved;
    // `exclude` is the folder of the recording in progress.
    static QStringList unfinishedFolders(const QString& base, const QString& mergedPrefix,
                                         const QString& exclude = QString());
    // Moves `from` to `to` by a rename where both are on one file system, otherwise copies it
    // (and `from` stays). The data and the new folder entry are on the disk when it returns
    // true; on false `to` does not exist and `from` is untouched.
    static bool placeFile(const QString& from, const QString& to);
    // Marks `folder` as saved (see SAVED_MARK), synced to the disk.
    static void markSaved(const QString& folder, const QString& savedFile);

private:
    QRecordSafety() = delete;
};
