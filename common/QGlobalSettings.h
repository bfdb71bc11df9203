#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
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
    // The work-folder base under the save folder: app.ini's name for the current language when it
    // is one path component, else the built-in name.
    static QString appName();
    // Every name the base has had: each language's in app.ini and the built-in ones, the current
    // one first.
    static QStringList appNames();
    // The translation of the language in effect (QLanguage::current), in `folder`/language.
    static QString translationFile(const QString& folder);

    // Forgets everything loaded; for tests that load several files in one process.
    static void clear();
};
