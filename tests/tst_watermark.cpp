#include "CGlobal.h"
#include "CSetting.h"
#include "QCommandLine.h"
#include "QDeviceManager.h"
#include "QGlobalSettings.h"
#include "QMarkSettings.h"
#include "QVideoSettings.h"
#include "TaskPool.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <functional>
#include <sys/stat.h>

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
        QVERIFY(QCommandLine::build("/w", QRect(0, 0, 640, 480))
                    .contains("-i \"file:" + mark() +
                              "\" -filter_complex \"overlay=(main_w-overlay_w) - 20:20\" "));
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

    void pictureRewrittenAsPngAtTransparencyZero_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("png") << "PNG";
        QTest::newRow("jpeg") << "JPG";
    }

    // Unchanged pixels, but always a PNG of our own writing: the encoder never reads the
    // user's file itself.
    void pictureRewrittenAsPngAtTransparencyZero()
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
        QVERIFY(readAll(mark()).startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(QImage(mark()).convertToFormat(QImage::Format_RGB32),
                 QImage(path).convertToFormat(QImage::Format_RGB32));
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
        // Neither is read at all, at any transparency: they would hold a worker for ever.
        QTest::newRow("a FIFO") << "pipe.png" << QByteArray("fifo");
        QTest::newRow("a device") << "/dev/zero" << QByteArray();
        // Read, but no picture: never handed to the encoder, which would open the files it names.
        QTest::newRow("a playlist") << "playlist.png" << QByteArray("#EXTM3U\n#EXTINF:1,\n/etc/hostname\n");
    }

    void unreadablePictureKeepsThePreviousMark()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        for (int transparency : {30, 0}) {
            QString path;
            if (!name.isEmpty()) {
                path = name.startsWith('/') ? name : picture(name);
                QFile::remove(picture(name));
                if (content == "fifo")
                    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
                else if (!content.isEmpty())
                    QVERIFY(writeAll(path, content));
            }
            QVERIFY(writeAll(mark(), "previous"));
            QMarkSettings::setType(ImageMark);
            QMarkSettings::setImage(path);
            QMarkSettings::setImageOpacity(transparency);
            refreshAndWait();
            QCOMPARE(readAll(mark()), QByteArray("previous"));
        }
    }

    void storedValuesOutOfRangeReadAsDefaults_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<int>("type");
        QTest::newRow("text position 4") << "mark_text"
                                         << "pos" << QVariant(4) << QVariant(int(TopRight)) << int(TextMark);
        QTest::newRow("picture position -1")
            << "mark_image"
            << "pos" << QVariant(-1) << QVariant(int(TopRight)) << int(ImageMark);
        QTest::newRow("text position kept")
            << "mark_text"
            << "pos" << QVariant(2) << QVariant(int(BottomLeft)) << int(TextMark);
        QTest::newRow("type 7") << "mark"
                                << "type" << QVariant(7) << QVariant(int(NoMark)) << -1;
        QTest::newRow("size 0") << "mark_text"
                                << "size" << QVariant(0) << QVariant(36) << int(TextMark);
        QTest::newRow("size 100000") << "mark_text"
                                     << "size" << QVariant(100000) << QVariant(36) << int(TextMark);
        QTest::newRow("size kept") << "mark_text"
                                   << "size" << QVariant(80) << QVariant(80) << int(TextMark);
        QTest::newRow("colour 6") << "mark_text"
                                  << "color" << QVariant(6) << QVariant(int(Black)) << int(TextMark);
        QTest::newRow("text opacity 101") << "mark_text"
                                          << "opacity" << QVariant(101) << QVariant(50) << int(TextMark);
        QTest::newRow("picture opacity -5") << "mark_image"
                                            << "opacity" << QVariant(-5) << QVariant(50) << int(ImageMark);
        QTest::newRow("save path pipe:")
            << "output"
            << "path" << QVariant("pipe:") << QVariant(CGlobal::getOutputPath()) << int(NoMark);
        QTest::newRow("save path tcp")
            << "output"
            << "path" << QVariant("tcp:host:9000") << QVariant(CGlobal::getOutputPath()) << int(NoMark);
        QTest::newRow("save path relative")
            << "output"
            << "path" << QVariant("Videos") << QVariant(CGlobal::getOutputPath()) << int(NoMark);
        QTest::newRow("save path kept")
            << "output"
            << "path" << QVariant("/srv/videos") << QVariant("/srv/videos") << int(NoMark);
    }

    // Values another version, a hand edit or a damaged file left in the settings: read where they
    // are used, a value out of range is its default, and the command line stays whole.
    void storedValuesOutOfRangeReadAsDefaults()
    {
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, read);
        QFETCH(int, type);
        if (type >= 0)
            CSetting::setValue("mark", "type", QVariant(type));
        CSetting::setValue(group, key, stored);
        const QMap<QString, std::function<QVariant()>> getters{
            {"mark/type", [] { return QVariant(QMarkSettings::getType()); }},
            {"mark_text/pos", [] { return QVariant(QMarkSettings::getTextPos()); }},
            {"mark_image/pos", [] { return QVariant(QMarkSettings::getImagePos()); }},
            {"mark_text/size", [] { return QVariant(QMarkSettings::getTextSize()); }},
            {"mark_text/color", [] { return QVariant(QMarkSettings::getTextColor()); }},
            {"mark_text/opacity", [] { return QVariant(QMarkSettings::getTextOpacity()); }},
            {"mark_image/opacity", [] { return QVariant(QMarkSettings::getImageOpacity()); }},
            {"output/path", [] { return QVariant(QVideoSettings::getSavePath()); }},
        };
        QCOMPARE(getters.value(group + "/" + key)(), read);

        // A text mark renders afresh at the size read; a picture mark here is some PNG.
        QImage picture(30, 20, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(this->picture("stored.png")));
        QMarkSettings::setImage(this->picture("stored.png"));
        QMarkSettings::refresh(); // the image path set the dirty flag
        QTRY_VERIFY(TaskPool::instance()->queuedCount() == 0 && TaskPool::instance()->executingCount() == 0);
        if (QMarkSettings::getType() == TextMark) {
            QFont font(QStringLiteral("Microsoft YaHei"));
            font.setPixelSize(QMarkSettings::getTextSize());
            QCOMPARE(QImage(mark()).height(), QFontMetrics(font).height());
        }

        QDeviceManager::Provider machine;
        QDeviceManager::setProvider(machine);
        QVideoSettings::setAudioType(NoAudio);
        const QString args = QCommandLine::build("/w", QRect(0, 0, 640, 480));
        QDeviceManager::resetProvider();
        const bool marked = QMarkSettings::getType() != NoMark;
        QCOMPARE(args.contains("-i \"file:" + mark() + "\""), marked);
        if (marked) {
            const int position = QMarkSettings::getType() == TextMark ? QMarkSettings::getTextPos()
                                                                      : QMarkSettings::getImagePos();
            const QString overlays[] = {"overlay=20:20", "overlay=(main_w-overlay_w) - 20:20",
                                        "overlay=20:(main_h - overlay_h) - 20",
                                        "overlay=(main_w-overlay_w) - 20:(main_h - overlay_h) - 20"};
            QVERIFY2(args.contains("-filter_complex \"" + overlays[position] + "\" -framerate "),
                     qPrintable(args));
        }
        QVERIFY(!args.contains("-filter_complex \"\""));
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
