#include "QGlobalSettings.h"
#include "QLanguage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestGlobalSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    QString write(const QByteArray& content)
    {
        const QString path = dir_.filePath(QStringLiteral("app.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        return path;
    }

private slots:
    void init() { QGlobalSettings::clear(); }

    void missingFileGivesDefaults()
    {
        QGlobalSettings::load(dir_.filePath(QStringLiteral("absent.ini")));
        QCOMPARE(QGlobalSettings::defaultLanguage(), QStringLiteral("zh"));
        QCOMPARE(QGlobalSettings::currentLanguage(), QStringLiteral("zh"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("Vexlo录屏助手"));
        QCOMPARE(QGlobalSettings::getBool("default", "hide_toolbar", false), false);
        QCOMPARE(QGlobalSettings::value("x", "y", 42).toInt(), 42);
    }

    void currentLanguageChoosesName()
    {
        QGlobalSettings::load(write("[global]\nlang=en\n[app_name]\nname_en=Recorder\nname_zh=中文名\n"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("Recorder"));
        QCOMPARE(QGlobalSettings::currentLanguage(), QStringLiteral("en"));
        QCOMPARE(QGlobalSettings::defaultLanguage(), QStringLiteral("zh"));
    }

    void utf8NamesAndBooleans()
    {
        QGlobalSettings::load(write("[default]\nlang=zh\nhide_toolbar=true\n[app_name]\nname_zh=录屏工具\n"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("录屏工具"));
        QVERIFY(QGlobalSettings::getBool("default", "hide_toolbar", false));
    }

    void keysBeforeFirstSectionAreIgnored()
    {
        QGlobalSettings::load(write("lang=en\nhide_toolbar=true\n[default]\nother=1\n"));
        QCOMPARE(QGlobalSettings::defaultLanguage(), QStringLiteral("zh"));
        QCOMPARE(QGlobalSettings::getBool("default", "hide_toolbar", false), false);
        QCOMPARE(QGlobalSettings::getString("default", "other", ""), QStringLiteral("1"));
        QCOMPARE(QGlobalSettings::getString("General", "lang", "none"), QStringLiteral("none"));
    }

    void emptyValues()
    {
        // An empty current language means "not set".
        QGlobalSettings::load(write("[global]\nlang=\n[default]\nlang=en\n[app_name]\nname_en=Recorder\n"));
        QCOMPARE(QGlobalSettings::currentLanguage(), QStringLiteral("en"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("Recorder"));
    }

    void nameMustBeOneFolder_data()
    {
        QTest::addColumn<QByteArray>("name");
        for (const char* name : {"", " ", ".", "..", "/", "a/b", "..\\x", "/home/user"})
            QTest::newRow(name) << QByteArray(name);
    }

    void nameMustBeOneFolder()
    {
        // The name becomes a folder under the save folder, which the clean-up empties: anything
        // that is not one path component would point it at the save folder or elsewhere.
        QFETCH(QByteArray, name);
        QGlobalSettings::load(
            write("[default]\nlang=en\n[app_name]\nname_en=\"" + name + "\"\nname_zh=录屏\n"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("Vexlo录屏助手"));
        // Every name the base folder has had is looked at for unfinished recordings.
        QVERIFY(QGlobalSettings::appNames().contains(QStringLiteral("录屏")));
        QVERIFY(!QGlobalSettings::appNames().contains(QString::fromUtf8(name)));
    }

    void laterLoadOverwritesEqualKeys()
    {
        QGlobalSettings::load(write("[default]\nlang=en\nhide_toolbar=true\n"));
        QGlobalSettings::load(write("[default]\nlang=fr\n"));
        QCOMPARE(QGlobalSettings::defaultLanguage(), QStringLiteral("fr"));
        QVERIFY(QGlobalSettings::getBool("default", "hide_toolbar", false));
    }

    void nameWithCommaStaysText()
    {
        QGlobalSettings::load(write("[app_name]\nname_zh=Recorder, Pro\n"));
        QCOMPARE(QGlobalSettings::appName(), QStringLiteral("Recorder, Pro"));
    }

    void malformedFilesGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 7919 + 13) % 256));
        QTest::newRow("binary") << garbage;
        QTest::newRow("latin1") << QByteArray("[app_name]\nname_fr=R\xe9glage\n[default\nlang\n=\n");
        QTest::newRow("unterminated section") << QByteArray("[default\nlang=en\n");
        QTest::newRow("nul bytes") << QByteArray("[default]\0lang=en\n", 19);
    }

    void malformedFilesGiveDefaults()
    {
        QFETCH(QByteArray, content);
        QGlobalSettings::load(write(content));
        QCOMPARE(QGlobalSettings::currentLanguage().isEmpty(), false);
        QVERIFY(!QGlobalSettings::appName().isNull());
    }

    // The user's installed choice, else the first desktop language with texts (a region or
    // script variant served by its language), else the installation's default.
    void languageChoice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("desktop");
        QTest::addColumn<QString>("chosen");
        const QStringList english{"en-US", "en"};
        QTest::newRow("English desktop") << QString() << english << "en";
        QTest::newRow("British English") << QString() << QStringList{"en-GB"} << "en";
        QTest::newRow("Chinese desktop") << QString() << QStringList{"zh-CN", "zh-Hans-CN", "zh"} << "zh";
        QTest::newRow("no translation") << QString() << QStringList{"de-DE", "de"} << "fr";
        QTest::newRow("second desktop language") << QString() << QStringList{"de-DE", "en-US"} << "en";
        QTest::newRow("C locale") << QString() << QStringList{"C"} << "fr";
        QTest::newRow("own choice wins") << "zh" << english << "zh";
        QTest::newRow("uninstalled choice") << "xx" << english << "en";
    }

    void languageChoice()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, desktop);
        QFETCH(QString, chosen);
        QCOMPARE(QLanguage::choose(stored, desktop, {"zh", "en"}, "fr"), chosen);
    }

    void installedLanguages()
    {
        QDir(dir_.path()).mkpath(QStringLiteral("language"));
        for (const char* name : {"reelcast_en.qm", "reelcast_pt_BR.qm", "other_de.qm", "reelcast_.qm"}) {
            QFile f(dir_.filePath(QStringLiteral("language/") + QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(QLanguage::installed(dir_.path()), QStringList({"zh", "en", "pt_BR"}));
        QCOMPARE(QLanguage::installed(dir_.filePath(QStringLiteral("absent"))), QStringList({"zh"}));
    }

    void unreadableFileGivesDefaults()
    {
        // A folder where the file should be cannot be read as a file.
        QDir(dir_.path()).mkpath(QStringLiteral("dir.ini"));
        QGlobalSettings::load(dir_.filePath(QStringLiteral("dir.ini")));
        QCOMPARE(QGlobalSettings::defaultLanguage(), QStringLiteral("zh"));
    }
};

QTEST_MAIN(TestGlobalSettings)
#include "tst_globalsettings.moc"
