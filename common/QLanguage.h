#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Which language the interface speaks: the user's own choice when it is installed, otherwise the
// first of the desktop's interface languages that is, otherwise the installation's default.
// The source texts are Chinese, so Chinese is always installed; every other language is a
// translation file "reelcast_<code>.qm" in the language folder.
class QLanguage : public QObject
{
    Q_OBJECT
public:
    static QString sourceLanguage() { return QStringLiteral("zh"); }
    // The codes with texts in `folder`/language, the source language first.
    static QStringList installed(const QString& folder);

    // The user's choice; empty when there is none (the desktop's language then).
    static QString stored();
    // Stored at once; empty gives the choice back to the desktop.
    static void store(const QString& code);

    static QString choose(const QString& stored, const QStringList& uiLanguages, const QStringList& installed,
                          const QString& fallback);
    // choose() for this user, this desktop and the translations in `folder`/language.
    static QString current(const QString& folder);

    // The language's name in that language, as a list of languages shows it.
    static QString nativeName(const QString& code);
};
