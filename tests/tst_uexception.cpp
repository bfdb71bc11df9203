#include "UException.h"

#include <QtTest>

class TestUException : public QObject
{
    Q_OBJECT

private slots:
    void storesWhatItIsGiven()
    {
        const QString message =
            QStringLiteral("未检测到设备：%1").arg(QStringLiteral("virtual-audio-capturer"));
        const UException e("audios.contains(VIRTUAL_AUDIO_CAPTURE)", message, "reelcast/QCommandLine.cpp",
                           42);
        QCOMPARE(QString::fromStdWString(e.message()), message);
        QCOMPARE(e.check(), std::wstring(L"audios.contains(VIRTUAL_AUDIO_CAPTURE)"));
        QCOMPARE(e.file(), std::wstring(L"reelcast/QCommandLine.cpp"));
        QCOMPARE(e.line(), 42);
        QCOMPARE(QByteArray(e.what()), QByteArray("audios.contains(VIRTUAL_AUDIO_CAPTURE)"));

        const UException bare("x > 0", "f.cpp", 7);
        QVERIFY(bare.message().empty());
        QCOMPARE(bare.check(), std::wstring(L"x > 0"));
    }

    // The narrow texts must never make the exception itself fail to build: non-ASCII bytes,
    // bytes that are valid in no encoding, and null pointers.
    void oddNarrowTexts()
    {
        const UException utf8("名字 == \"相机\"", "目录/文件.cpp", 1);
        QCOMPARE(QString::fromStdWString(utf8.check()), QStringLiteral("名字 == \"相机\""));
        QCOMPARE(QString::fromStdWString(utf8.file()), QStringLiteral("目录/文件.cpp"));

        const UException broken("\xff\xfe\x80 check", "\xc3", 2);
        QVERIFY(QString::fromStdWString(broken.check()).endsWith(QStringLiteral(" check")));

        const UException null(nullptr, QStringLiteral("m"), nullptr, 3);
        QVERIFY(null.check().empty());
        QVERIFY(null.file().empty());
        QCOMPARE(QByteArray(null.what()), QByteArray());
    }

    void checkMacroThrowsOnlyOnFailure()
    {
        const QStringList devices = {QStringLiteral("screen-capture-recorder")};
        UEXCEPTION_CHECK(devices.contains(QStringLiteral("screen-capture-recorder")),
                         QStringLiteral("never"));
        try {
            UEXCEPTION_CHECK(devices.contains(QStringLiteral("USB Cam")),
                             QStringLiteral("未检测到设备：USB Cam"));
            QFAIL("no exception");
        } catch (const UException& e) {
            QCOMPARE(e.check(), std::wstring(L"devices.contains(QStringLiteral(\"USB Cam\"))"));
            QCOMPARE(QString::fromStdWString(e.message()), QStringLiteral("未检测到设备：USB Cam"));
            QVERIFY(QString::fromStdWString(e.file()).endsWith(QStringLiteral("tst_uexception.cpp")));
            QVERIFY(e.line() > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestUException)
#include "tst_uexception.moc"
