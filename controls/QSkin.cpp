#include "QSkin.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStyle>
#include <QWidget>

void QSkin::init()
{
    Q_INIT_RESOURCE(reelcast_artwork);

    static bool fontsMapped = false;
    if (fontsMapped || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    fontsMapped = true;
    // The style sheets name the Windows UI font; elsewhere fall back to a font with Simplified
    // Chinese glyphs instead of whatever fontconfig would pick (often a Latin-only font).
    const QString sheetFont = QStringLiteral("Microsoft YaHei");
    const QStringList families = QFontDatabase().families();
    if (families.contains(sheetFont, Qt::CaseInsensitive))
        return;
    QStringList substitutes;
    for (const QString& candidate :
         {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")}) {
        if (families.contains(candidate, Qt::CaseInsensitive))
            substitutes << candidate;
    }
    if (!substitutes.isEmpty())
        QFont::insertSubstitutions(sheetFont, substitutes);
}

QString QSkin::styleSheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void QSkin::repolish(QWidget* widget)
{
    if (!widget)
        return;
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

void QSkin::setProperty(QWidget* widget, const char* name, const QVariant& value)
{
    if (!widget)
        return;
    widget->setProperty(name, value);
    repolish(widget);
}
