#include "QLanguage.h"

#include "CSetting.h"
#include "QGlobalSettings.h"

#include <QDir>
#include <QLocale>

namespace {

const char kGroup[] = "language";
const char kKey[] = "type";

// "zh-Hans-CN" and "zh_CN" as "zh_Hans_CN" and "zh_CN": the form of the translation files.
QString normalized(const QString& code)
{
    QString c = code;
    c.replace(QLatin1Char('-'), QLatin1Char('_'));
    return c;
}

} // namespace

QStringList QLanguage::installed(const QString& folder)
{
    QStringList codes{sourceLanguage()};
    const QString prefix = QStringLiteral("reelcast_");
    const QStringList files = QDir(folder + QStringLiteral("/language"))
                                  .entryList({prefix + QStringLiteral("*.qm")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QString code = file.mid(prefix.size(), file.size() - prefix.size() - 3);
        if (!code.isEmpty() && !codes.contains(code))
            codes << code;
    }
    return codes;
}

QString QLanguage::stored()
{
    return CSetting::getString(QLatin1String(kGroup), QLatin1String(kKey), QString()).trimmed();
}

void QLanguage::store(const QString& code)
{
    CSetting::setValue(QLatin1String(kGroup), QLatin1String(kKey), code);
}

QString QLanguage::choose(const QString& stored, const QStringList& uiLanguages, const QStringList& installed,
                          const QString& fallback)
{
    if (!stored.isEmpty() && installed.contains(stored))
        return stored;
    // A stored code without texts (an uninstalled translation) is no choice: the desktop decides.
    for (const QString& wanted : uiLanguages) {
        const QString code = normalized(wanted);
        if (installed.contains(code))
            return code;
        // "en_US" is served by "en"; "zh_TW" by the Chinese of the source texts.
        const QString primary = code.section(QLatin1Char('_'), 0, 0);
        if (installed.contains(primary))
            return primary;
    }
    return fallback;
}

QString QLanguage::current(const QString& folder)
{
    return choose(stored(), QLocale::system().uiLanguages(), installed(folder),
                  QGlobalSettings::defaultLanguage());
}

QString QLanguage::nativeName(const QString& code)
{
    // Qt names the Chinese of mainland China "中文（中国）" and English "American English".
    if (code == QLatin1String("zh"))
        return QStringLiteral("简体中文");
    if (code == QLatin1String("en"))
        return QStringLiteral("English");
    const QString name = QLocale(code).nativeLanguageName();
    return name.isEmpty() ? code : name;
}
