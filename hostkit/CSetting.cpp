#include "CSetting.h"

#include "CGlobal.h"

#include <QSettings>

namespace {

QVariant readValue(const QString& group, const QString& key)
{
    QSettings store(CGlobal::getSettingsFile(), QSettings::IniFormat);
    store.setIniCodec("UTF-8");
    return store.value(group + QLatin1Char('/') + key);
}

} // namespace

int CSetting::getInt(const QString& group, const QString& key, int defaultValue)
{
    const QVariant v = readValue(group, key);
    if (!v.isValid())
        return defaultValue;
    bool ok = false;
    const int i = v.toInt(&ok);
    // A hand-edited value that is not a number is treated as absent.
    return ok ? i : defaultValue;
}

QString CSetting::getString(const QString& group, const QString& key, QString defaultValue)
{
    const QVariant v = readValue(group, key);
    return v.isValid() ? v.toString() : defaultValue;
}

void CSetting::setValue(const QString& group, const QString& key, const QVariant& value)
{
    QSettings store(CGlobal::getSettingsFile(), QSettings::IniFormat);
    store.setIniCodec("UTF-8");
    store.setValue(group + QLatin1Char('/') + key, value);
    // QSettings writes through a temporary file and renames it, so a store that cannot be
    // written keeps its previous content.
    store.sync();
}
