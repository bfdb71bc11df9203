#pragma once

#include <QByteArray>
#include <QFileInfoList>
#include <QString>
#include <QStringList>

// What keeps a recording from being lost, and what keeps the program to its own files: which
// work folders hold a recording that was never saved, which of a folder's files are its
// segments, how much room the merge needs, how files are created and put in place so that a
// power loss leaves either the work files or the complete saved file, and how a work folder is
// cleaned up without touching anything the program did not write.
class QRecordSafety
{
public:
    // Below this many free bytes a recording is stopped, plus what its merge will write.
    static constexpr qint64 kLowSpaceBytes = 52428800;
    // Written into a work folder once its recording is saved; such a folder is not offered again.
    static const QString SAVED_MARK;
    // The segment list of a merge.
    static const QString LIST_FILE;

    // A work folder's name: the second its recording started ("yyyy-MM-dd-hh-mm-ss"), with "-N"
    // where two recordings started within one second.
    static bool isWorkFolderName(const QString& name);
    // A segment's name: the second its run started, ".bak". A merged file's: `mergedPrefix` (or
    // the untranslated prefix) before a segment's name, possibly with "-N" before ".bak".
    static bool isSegmentName(const QString& name);
    static bool isMergedName(const QString& name, const QString& mergedPrefix);

    // The segments of `folder` in recording order (by name, which is their start time): regular
    // files of the user's of the segments' naming. A merged file counts only when it is all there
    // is: a single segment renamed before the program went down. Beside segments it is a merge
    // that may not have finished.
    static QFileInfoList segments(const QString& folder, const QString& mergedPrefix);
    // The free space under which a recording in `workFolder` must stop so its merge still fits:
    // the merge of two or more segments writes them all once more; a single one is renamed.
    static qint64 lowSpaceLimit(const QString& workFolder, const QString& mergedPrefix);
    // Work folders under each of `bases` (newest last) with segments of a recording never saved:
    // folders of the user's (no links) with a work folder's name; `exclude` is the folder of the
    // recording in progress.
    static QStringList unfinishedFolders(const QStringList& bases, const QString& mergedPrefix,
                                         const QString& exclude = QString());

    // Creates a folder for the user alone, or accepts it where it already is one of the user's
    // (not a link); false otherwise. `hidden`: also marked hidden where the system has that.
    static bool makePrivateFolder(const QString& path, bool hidden = false);
    // `path` where nothing has that name (a dangling link counts), else the first free
    // "<name>-N.<ext>".
    static QString freeName(const QString& path);
    // Writes a new file (never an existing one, never through a link) and syncs it.
    static bool writeNewFile(const QString& path, const QByteArray& data);
    // Moves `from` to `to` by a rename where both are on one file system, otherwise copies it
    // (and `from` stays). Never replaces anything at `to`. The data and the new folder entry are on
    // the disk when it returns true; on false `to` does not exist and `from` is untouched.
    static bool placeFile(const QString& from, const QString& to);
    // Marks `folder` as saved (see SAVED_MARK), synced to the disk.
    static void markSaved(const QString& folder, const QString& savedFile);
    // Removes the program's own files of `folder` by name (segments, merged files, the segment
    // list, the saved mark) except `keep`, then the folder if that left it empty. Anything else in
    // it stays, and so does the folder.
    static void removeOwnFiles(const QString& folder, const QString& mergedPrefix,
                               const QStringList& keep = QStringList());

private:
    QRecordSafety() = delete;
};
