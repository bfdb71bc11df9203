#include "QCommonMethod.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QUrl QCommonMethod::pageUrl(const QString& name, const QString& extra)
{
    // The program runs from its program folder; the executable's folder is the fall-back.
    QString folder = QDir::currentPath() + QStringLiteral("/help/");
    if (!QFileInfo(folder).isDir())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/help/");
    // Only plain page names: a name must not lead out of the help folder.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]+$"));
    QString file = folder + QStringLiteral("index.html");
    if (plain.match(name).hasMatch() && QFileInfo::exists(folder + name + QStringLiteral(".html")))
        file = folder + name + QStringLiteral(".html");
    QUrl url = QUrl::fromLocalFile(file);
    if (!extra.isEmpty())
        url.setQuery(extra);
    return url;
}

bool QCommonMethod::openUrl(const QString& name, const QString& extra)
{
    return QDesktopServices::openUrl(pageUrl(name, extra));
}
