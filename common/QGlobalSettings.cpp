#include "QGlobalSettings.h"

#include "QLanguage.h"

#include <QFileInfo>
#include <QMap>
#include <QSettings>

namespace {

using Group = QMap<QString, QVariant>;

QMap<QString, Group>& store()
{
    static QMap<QString, Group> map;
    return map;
}

} // namespace

void QGlobalSettings::load(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return;
    QSettings ini(path, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    // Keys before the first section land in the root group, which is not a section: skip it.
    const QStringList groups = ini.childGroups();
    for (const QString& group : groups) {
        ini.beginGroup(group);
        const QStringList keys = ini.allKeys();
        for (const QString& key : keys) {
            QVariant v = ini.value(key);
            // An unquoted value with commas is parsed as a list; keep it as the text it was.
            if (v.type() == QVariant::StringList)
                v = v.toStringList().join(QStringLiteral(", "));
            store()[group][key] = v;
        }
        ini.endGroup();
    }
}

QVariant QGlobalSettings::value(const QString& group, const QString& key, const QVariant& defaultValue)
{
    const auto g = store().constFind(group);
    if (g == store().constEnd())
        return defaultValue;
    const auto v = g->constFind(key);
    return v == g->constEnd() ? defaultValue : *v;
}

QString QGlobalSettings::getString(const QString& group, const QString& key, QString defaultValue)
{
    return value(group, key, QVariant(defaultValue)).toString();
}

bool QGlobalSettings::getBool(const QString& group, const QString& key, bool defaultValue)
{
    return value(group, key, QVariant(defaultValue)).toBool();
}

QString QGlobalSettings::defaultLanguage()
{
    return getString(QStringLiteral("default"), QStringLiteral("lang"), QStringLiteral("zh"));
}

QString QGlobalSettings::currentLanguage()
{
    const QString lang = value(QStringLiteral("global"), QStringLiteral("lang"), QVariant()).toString();
    return lang.isEmpty() ? defaultLanguage() : lang;
}

QString QGlobalSettings::appName()
{
    return getString(QStringLiteral("app_name"), QStringLiteral("name_") + currentLanguage(),
                     tr("Vexlo录屏助手"));
}

QString QGlobalSettings::translationFile(const QString& folder)
{
    const QString language = QLanguage::current(folder);
    return QStringLiteral("%1/language/%2_%3.qm").arg(folder, QStringLiteral("reelcast"), language);
}

void QGlobalSettings::clear()
{
    store().clear();
}
