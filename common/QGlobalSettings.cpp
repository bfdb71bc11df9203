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

namespace {

// The name becomes a folder under the save folder: one path component, nothing more.
bool isFolderName(const QString& name)
{
    return !name.trimmed().isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

} // namespace

QString QGlobalSettings::appName()
{
    const QString name = getString(QStringLiteral("app_name"), QStringLiteral("name_") + currentLanguage(),
                                   tr("Vexlo录屏助手"));
    return isFolderName(name) ? name : tr("Vexlo录屏助手");
}

QStringList QGlobalSettings::appNames()
{
    QStringList names{appName()};
    const Group names_ = store().value(QStringLiteral("app_name"));
    for (auto it = names_.constBegin(); it != names_.constEnd(); ++it) {
        const QString name = it.value().toString();
        if (it.key().startsWith(QLatin1String("name_")) && isFolderName(name) && !names.contains(name))
            names << name;
    }
    // The built-in name in each language the program has carried.
    for (const QString& name : {QStringLiteral("Vexlo录屏助手"), tr("Vexlo录屏助手")}) {
        if (!names.contains(name))
            names << name;
    }
    return names;
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
