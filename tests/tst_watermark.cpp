#include "CGlobal.h"
#include "CSetting.h"
#include "QCommandLine.h"
#include "QDeviceManager.h"
#include "QGlobalSettings.h"
#include "QMarkSettings.h"
#include "TaskPool.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Smallest and largest alpha of the pixels that are not fully transparent, and whether every
// such pixel has the colour `rgb`.
struct Coverage
{
    int minAlpha = 256;
    int maxAlpha = -1;
    bool allOfColour = true;
};

Coverage coverage(const QImage& image, QRgb rgb)
{
    Coverage c;
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            c.minAlpha = qMin(c.minAlpha, qAlpha(p));
            c.maxAlpha = qMax(c.maxAlpha, qAlpha(p));
            if (qAlpha(p) > 64 && (qAbs(qRed(p) - qRed(rgb)) > 8 || qAbs(qGreen(p) - qGreen(rgb)) > 8 ||
                                   qAbs(qBlue(p) - qBlue(rgb)) > 8))
                c.allOfColour = false;
        }
    return c;
}

} // namespace

class TestWatermark : public QObject
{
    Q_OBJECT
    TestEnvironment env;

    QString mark() const { return QMarkSettings::markFile(); }
    QString picture(const QString& name) const { return env.home() + QLatin1Char('/') + name; }

    // Renders through refresh() on the pool and waits until the pool is idle again.
    static void refreshAndWait()
    {
        QMarkSettings::refresh();
        QTRY_VERIFY(TaskPool::instance()->queuedCount() == 0 && TaskPool::instance()->executingCount() == 0);
    }

private slots:
    void init()
    {
        QFile::remove(CGlobal::getSettingsFile());
        QFile::remove(mark());
    }

    void refreshNeverRendersInline()
    {
        // The pool has no workers yet: the render waits in its queue, the caller goes on.
        QMarkSettings::setType(TextMark);
        QMarkSettings::refresh();
        QCOMPARE(TaskPool::instance()->queuedCount(), 1);
        QVERIFY(!QFileInfo::exists(mark()));
        TaskPool::instance()->start(5);
        QTRY_VERIFY(QFileInfo::exists(mark()));
    }

    void defaults()
    {
        QCOMPARE(QMarkSettings::getType(), int(NoMark));
        QCOMPARE(QMarkSettings::getText(), QGlobalSettings::appName());
        QCOMPARE(QMarkSettings::getTextSize(), 36);
        QCOMPARE(QMarkSettings::getTextColor(), int(Black));
        QCOMPARE(QMarkSettings::getTextPos(), int(TopRight));
        QCOMPARE(QMarkSettings::getTextOpacity(), 50);
        QCOMPARE(QMarkSettings::getImage(), QString());
        QCOMPARE(QMarkSettings::getImagePos(), int(TopRight));
        QCOMPARE(QMarkSettings::getImageOpacity(), 50);
        QCOMPARE(QMarkSettings::markFile(), CGlobal::getAppDataPath() + "mark.png");
        QCOMPARE(QMarkSettings::colorOf(Yellow), QColor(Qt::yellow));
        QVERIFY(!QMarkSettings::colorOf(6).isValid());
        QVERIFY(!QMarkSettings::colorOf(-1).isValid());

        // The stored keys, as the settings dialog of another version would find them.
        QMarkSettings::setTextOpacity(20);
        QMarkSettings::setImage("/x.png");
        QMarkSettings::setImagePos(BottomLeft);
        QCOMPARE(CSetting::getInt("mark_text", "opacity", -1), 20);
        QCOMPARE(CSetting::getString("mark_image", "image", QString()), QStringLiteral("/x.png"));
        QCOMPARE(CSetting::getInt("mark_image", "pos", -1), int(BottomLeft));

        // No watermark chosen: nothing is rendered.
        refreshAndWait();
        QVERIFY(!QFileInfo::exists(mark()));
    }

    void defaultTextMark()
    {
        QMarkSettings::setType(TextMark);
        refreshAndWait();
        const QImage image(mark());
        QVERIFY(!image.isNull());
        QVERIFY(image.hasAlphaChannel());
        QFont font(QStringLiteral("Microsoft YaHei"));
        font.setPixelSize(36);
        const QFontMetrics metrics(font);
        QCOMPARE(image.size(),
                 QSize(metrics.horizontalAdvance(QGlobalSettings::appName()), metrics.height()));
        // Black text at the default transparency of 50.
        const Coverage c = coverage(image, qRgb(0, 0, 0));
        QVERIFY(c.maxAlpha > 0);
        QVERIFY(c.allOfColour);
        QVERIFY2(qAbs(c.maxAlpha - 128) <= 2, qPrintable(QString::number(c.maxAlpha)));
        // Placed top right by the command line.
        QDeviceManager::Provider machine;
        machine.encoderDeviceNames = [] { return QStringList({"virtual-audio-capturer"}); };
        QDeviceManager::setProvider(machine);
        QVERIFY(
            QCommandLine::build("/w", QRect(0, 0, 640, 480))
                .contains("-i \"" + mark() + "\" -filter_complex \"overlay=(main_w-overlay_w) - 20:20\" "));
        QDeviceManager::resetProvider();
    }

    void textTransparencyAndColour()
    {
        QMarkSettings::setType(TextMark);
        QMarkSettings::setText(QStringLiteral("Reel 录屏"));
        QMarkSettings::setTextColor(Red);
        QMarkSettings::setTextOpacity(0);
        refreshAndWait();
        Coverage c = coverage(QImage(mark()), qRgb(255, 0, 0));
        QCOMPARE(c.maxAlpha, 255);
        QVERIFY(c.allOfColour);

        QMarkSettings::setTextOpacity(100);
        refreshAndWait();
        c = coverage(QImage(mark()), qRgb(255, 0, 0));
        QCOMPARE(c.maxAlpha, -1);
    }

    void unchangedOptionsDoNotRenderAgain()
    {
        QMarkSettings::setType(TextMark);
        refreshAndWait();
        QVERIFY(writeAll(mark(), "stays"));
        refreshAndWait();
        QCOMPARE(readAll(mark()), QByteArray("stays"));
        // A changed option renders anew, so does a missing file.
        QMarkSettings::setTextSize(20);
        refreshAndWait();
        QCOMPARE(QImage(mark()).height(), QFontMetrics([] {
                                              QFont f(QStringLiteral("Microsoft YaHei"));
                                              f.setPixelSize(20);
                                              return f;
                                          }())
                                              .height());
        QFile::remove(mark());
        refreshAndWait();
        QVERIFY(QFileInfo::exists(mark()));
    }

    void emptyTextRemovesTheMark()
    {
        QMarkSettings::setType(TextMark);
        refreshAndWait();
        QVERIFY(QFileInfo::exists(mark()));
        QMarkSettings::setText(QString());
        refreshAndWait();
        QVERIFY(!QFileInfo::exists(mark()));
    }

    void pictureCopiedUnchangedAtTransparencyZero_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("png") << "PNG";
        QTest::newRow("jpeg") << "JPG";
    }

    void pictureCopiedUnchangedAtTransparencyZero()
    {
        QFETCH(QString, format);
        QImage source(64, 48, QImage::Format_RGB32);
        source.fill(QColor(10, 200, 30));
        const QString path = picture("logo." + format.toLower());
        QVERIFY(source.save(path, qPrintable(format)));
        QVERIFY(writeAll(mark(), "old"));
        QMarkSettings::setType(ImageMark);
        QMarkSettings::setImage(path);
        QMarkSettings::setImageOpacity(0);
        refreshAndWait();
        QCOMPARE(readAll(mark()), readAll(path));
    }

    void pictureAlphaHalvedAtFifty()
    {
        QImage source(40, 30, QImage::Format_ARGB32);
        source.fill(QColor(255, 0, 0));
        // A pixel that is already half transparent ends at a quarter.
        source.setPixel(0, 0, qRgba(255, 0, 0, 128));
        const QString path = picture("half.png");
        QVERIFY(source.save(path));
        QMarkSettings::setType(ImageMark);
        QMarkSettings::setImage(path);
        refreshAndWait();
        const QImage image = QImage(mark()).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(40, 30));
        QVERIFY(qAbs(qAlpha(image.pixel(20, 15)) - 128) <= 1);
        QVERIFY(qAbs(qAlpha(image.pixel(0, 0)) - 64) <= 1);
        QCOMPARE(qRed(image.pixel(20, 15)), 255);
        QCOMPARE(qGreen(image.pixel(20, 15)), 0);
    }

    void unreadablePictureKeepsThePreviousMark_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << "missing.png" << QByteArray();
        QTest::newRow("corrupt") << "corrupt.png" << QByteArray("\x89PNG\r\n\x1a\nthis is no picture", 26);
        QTest::newRow("not chosen") << QString() << QByteArray();
    }

    void unreadablePictureKeepsThePreviousMark()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QString path;
        if (!name.isEmpty()) {
            path = picture(name);
            if (!content.isEmpty())
                QVERIFY(writeAll(path, content));
        }
        QVERIFY(writeAll(mark(), "previous"));
        QMarkSettings::setType(ImageMark);
        QMarkSettings::setImage(path);
        QMarkSettings::setImageOpacity(30);
        refreshAndWait();
        QCOMPARE(readAll(mark()), QByteArray("previous"));
    }

    void hugePictureIsRefusedWithoutDecoding()
    {
        // 10000 x 10000 pixels, stored compactly as one bit per pixel.
        QImage huge(10000, 10000, QImage::Format_Mono);
        huge.fill(1);
        const QString path = picture("huge.png");
        QVERIFY(huge.save(path));
        huge = QImage();
        QVERIFY(writeAll(mark(), "previous"));
        QMarkSettings::setType(ImageMark);
        QMarkSettings::setImage(path);
        QMarkSettings::setImageOpacity(50);
        refreshAndWait();
        QCOMPARE(readAll(mark()), QByteArray("previous"));
    }
};

QTEST_MAIN(TestWatermark)
#include "tst_watermark.moc"
