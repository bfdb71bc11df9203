#pragma once

#include <QString>
#include <QTemporaryDir>

// A private home for one test process: settings, data, videos and runtime folders live in a
// temporary folder, so tests never touch the user's files or each other's.
// Create it before the first use of CGlobal/CSetting (e.g. in initTestCase).
class TestEnvironment
{
public:
    TestEnvironment();

    QString home() const { return dir_.path(); }
    QString runtimeDir() const { return dir_.path() + QStringLiteral("/run"); }
    // build/bin of this build tree.
    static QString programDir();
    static QString sourceDir();

private:
    QTemporaryDir dir_;
};
