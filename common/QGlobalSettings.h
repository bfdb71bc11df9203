#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// Installation values from app.ini, read once at start-up and never written back.
class QGlobalSettings : public QObject
{
    Q_OBJECT
public:
    static void load(const QString& path);

    static QVariant value(const QString& group, const QString& key, const QVariant& defaultValue);
    static QString getString(const QString& group, const QString& key, QString defaultValue);
    static bool getBool(const QString& group, const QString& key, bool defaultValue);

    static QString defaultLanguage();
    static QString currentLanguage();
    static QString appName();
    // The translation for the language chosen in the program's settings, in `folder`/language.
    static QString translationFile(const QString& folder);

    // Forgets everything loaded; for tests that load several files in one process.
    static void clear();
};
