#include "CGlobal.h"
#include "QRecordLog.h"
#include "TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kSeparator(51, '*');

QByteArray contents(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Tests that check a log's plain name start in a fresh second.
void waitForNextSecond()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() != now, 2000);
}

} // namespace

class TestRecordLog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void filtering_data();
    void filtering();
    void blocksOfARecording();
    void unfilteredRestAndMergeError();
    void closedLogStaysAndIgnoresWrites();
    void discardedLogIsGone();
    void replacedLogStays();
    void unusableFolderSkipsWrites();

private:
    std::unique_ptr<TestEnvironment> env_;
};

void TestRecordLog::initTestCase()
{
    env_.reset(new TestEnvironment());
    // Nothing happens before the first log exists.
    QRecordLog::beginRun();
    QRecordLog::writeFiltered(QStringLiteral("x"));
    QRecordLog::endRun();
    QRecordLog::close();
    QRecordLog::discard();
    QVERIFY(QRecordLog::fileName().isEmpty());
    QVERIFY(!QRecordLog::isOpen());
}

void TestRecordLog::filtering_data()
{
    QTest::addColumn<QString>("chunk");
    QTest::addColumn<QString>("written");
    QTest::newRow("two progress lines and the start of a third")
        << "frame=   10 fps= 30 time=00:00:01.00 bitrate=1.0kbits/s\rframe=   20 fps= 30 time=00:00:02.00 "
           "bitrate=1.0kbits/s\rframe=   3"
        << "frame=   3";
    QTest::newRow("input description first is kept whole")
        << "Input #0, gdigrab, from 'desktop':\nframe=   1 time=00:00:00.03\rframe=   2\r"
        << "Input #0, gdigrab, from 'desktop':\nframe=   1 time=00:00:00.03\rframe=   2\r";
    QTest::newRow("progress across line feeds up to the last carriage return")
        << "frame=  1\r\n[x11grab @ 0x1] warning\nframe=  2\rtail\n"
        << "tail\n";
    QTest::newRow("progress without carriage return") << "frame=   5 fps=30"
                                                      << "frame=   5 fps=30";
    QTest::newRow("not at the start") << " frame=  1\r"
                                      << " frame=  1\r";
    QTest::newRow("empty") << ""
                           << "";
}

void TestRecordLog::filtering()
{
    QFETCH(QString, chunk);
    QFETCH(QString, written);
    QCOMPARE(QRecordLog::filtered(chunk), written);
}

void TestRecordLog::blocksOfARecording()
{
    QRecordLog::create();
    const QString name = QRecordLog::fileName();
    QVERIFY(QRecordLog::isOpen());
    const QRegularExpression pattern(
        QStringLiteral("^%1/\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{2}\\.log$")
            .arg(QRegularExpression::escape(CGlobal::getAppDataPath() + "ffmpeg")));
    QVERIFY2(pattern.match(name).hasMatch(), qPrintable(name));

    // A recording with two pauses: three runs.
    const QString banner = QStringLiteral("ffmpeg version 5.1 录屏\nInput #0, x11grab\n");
    for (int run = 0; run < 3; ++run) {
        QRecordLog::beginRun();
        QRecordLog::writeFiltered(banner);
        QRecordLog::writeFiltered(QStringLiteral("frame=  1 time=00:00:01.00\rframe=  2 time=00:00:0"));
        QRecordLog::endRun();
    }
    // Flushed at the end of each run, so readable while the log is still open.
    const QByteArray block = "***************************************************\r\n" + banner.toUtf8() +
                             "frame=  2 time=00:00:0" + "\r\n\r\n";
    QCOMPARE(block.count(kSeparator), 1);
    QCOMPARE(contents(name), block + block + block);
    QRecordLog::close();
}

void TestRecordLog::unfilteredRestAndMergeError()
{
    waitForNextSecond();
    QRecordLog::create();
    const QString name = QRecordLog::fileName();
    const QByteArray raw("frame=  9\r\xff\xfe not text\r\nConversion failed!\r\n", 40);
    QRecordLog::beginRun();
    QRecordLog::write(raw);
    QRecordLog::write(QByteArray());
    QRecordLog::endRun();
    QRecordLog::writeError("[concat @ 0x1] Impossible to open 'a.bak'\n");
    QRecordLog::close();
    QCOMPARE(contents(name), "***************************************************\r\n" + raw + "\r\n\r\n" +
                                 "***************************************************\r\n" +
                                 "[concat @ 0x1] Impossible to open 'a.bak'\n\r\n\r\n");
}

void TestRecordLog::closedLogStaysAndIgnoresWrites()
{
    waitForNextSecond();
    QRecordLog::create();
    const QString name = QRecordLog::fileName();
    QRecordLog::beginRun();
    QRecordLog::endRun();
    const QByteArray before = contents(name);
    QRecordLog::close();
    QVERIFY(!QRecordLog::isOpen());
    QRecordLog::beginRun();
    QRecordLog::write("late");
    QRecordLog::writeError("late");
    QRecordLog::endRun();
    QVERIFY(QFile::exists(name));
    QCOMPARE(contents(name), before);
}

void TestRecordLog::discardedLogIsGone()
{
    waitForNextSecond();
    QRecordLog::create();
    const QString name = QRecordLog::fileName();
    QRecordLog::beginRun();
    QRecordLog::writeFiltered(QStringLiteral("banner\n"));
    QRecordLog::endRun();
    QRecordLog::discard();
    QVERIFY(!QFile::exists(name));
    QVERIFY(!QRecordLog::isOpen());
    QVERIFY(
        QDir(QRecordLog::folder()).entryList({QStringLiteral("*.log")}).indexOf(QFileInfo(name).fileName()) <
        0);
}

void TestRecordLog::replacedLogStays()
{
    waitForNextSecond();
    QRecordLog::create();
    const QString first = QRecordLog::fileName();
    QRecordLog::beginRun();
    QRecordLog::writeFiltered(QStringLiteral("first recording\n"));
    // No endRun: the replacement must still leave everything written on disk, also when it comes
    // within the same second.
    QRecordLog::create();
    const QString second = QRecordLog::fileName();
    QVERIFY(first != second);
    if (QFileInfo(first).baseName() == QFileInfo(second).baseName().section(QLatin1Char('-'), 0, 5))
        QCOMPARE(QFileInfo(second).fileName(), QFileInfo(first).baseName() + QStringLiteral("-2.log"));
    QVERIFY(contents(first).endsWith("first recording\n"));
    QRecordLog::beginRun();
    QRecordLog::endRun();
    QVERIFY(!contents(second).contains("first recording"));
    QRecordLog::discard();
    QVERIFY(QFile::exists(first));
}

void TestRecordLog::unusableFolderSkipsWrites()
{
    // A plain file where the log folder belongs: no log, and recording goes on regardless.
    const QString folder = QRecordLog::folder();
    const QString moved = folder + QStringLiteral(".moved");
    QVERIFY(QDir().rename(folder, moved));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    waitForNextSecond();
    QRecordLog::create();
    QVERIFY(!QRecordLog::isOpen());
    QRecordLog::beginRun();
    QRecordLog::writeFiltered(QStringLiteral("text"));
    QRecordLog::write("bytes");
    QRecordLog::endRun();
    QRecordLog::close();
    QRecordLog::discard();
    QCOMPARE(QFileInfo(folder).size(), qint64(0));

    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().rename(moved, folder));
}

QTEST_GUILESS_MAIN(TestRecordLog)
#include "tst_recordlog.moc"
