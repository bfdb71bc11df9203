// The program's pictures and style sheets: every resource path the windows name loads at the size
// its widget shows it, the style sheets parse and point at pictures that exist, hover and off
// variants really differ, Chinese text has a font, and the build's render tool works.
#include "QSkin.h"
#include "TestEnvironment.h"

#include <QDirIterator>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Picture
{
    const char* path;
    int width;
    int height;
};

// Every picture the windows name, at the size of the widget that shows it. Where no widget size
// applies: the logo 64 x 64 (about box and window icon), the help-menu icon 16 x 16.
const Picture kPictures[] = {
    {":/image/logo.about.png", 64, 64},
    {":/image/label.icon.title.png", 28, 28},
    {":/image/btn.min.png", 30, 24},
    {":/image/btn.min.hover.png", 30, 24},
    {":/image/btn.min.pressed.png", 30, 24},
    {":/image/btn.close.png", 30, 24},
    {":/image/btn.close.hover.png", 30, 24},
    {":/image/btn.close.pressed.png", 30, 24},
    {":/image/btn.customer.png", 14, 14},
    {":/image/btn.menu.png", 14, 14},
    {":/Images/menuSupport.png", 16, 16},
    {":/image/label.mode.png", 26, 26},
    {":/image/label.mode.hover.png", 26, 26},
    {":/image/label.audio.png", 26, 26},
    {":/image/label.audio.hover.png", 26, 26},
    {":/image/label.audio.close.png", 26, 26},
    {":/image/label.audio.close.hover.png", 26, 26},
    {":/image/label.quality.png", 26, 26},
    {":/image/label.quality.hover.png", 26, 26},
    {":/image/label.format.png", 26, 26},
    {":/image/label.format.hover.png", 26, 26},
    {":/image/label.camera.png", 26, 26},
    {":/image/label.camera.hover.png", 26, 26},
    {":/image/label.camera.disable.png", 26, 26},
    {":/image/label.disable.hover.png", 26, 26},
    {":/image/item.drop.down.png", 8, 4},
    {":/image/item.drop.down.hover.png", 8, 4},
    {":/image/label.path.png", 12, 14},
    {":/image/label.mark.png", 14, 13},
    {":/image/label.record.png", 20, 20},
    {":/image/label.pause.png", 20, 20},
    {":/image/label.stop.png", 20, 20},
    {":/image/floating_btn_start.png", 48, 171},
    {":/image/floating_btn_pause.png", 48, 171},
    {":/image/floating_btn_continue.png", 48, 171},
    {":/image/floating_btn_stop.png", 48, 171},
    {":/image/floating_btn_close.png", 48, 171},
    {":/image/btn.dialog.close.png", 30, 24},
    {":/image/bg.record.png", 64, 64},
    {":/image/label.radio.checked.png", 14, 14},
    {":/image/label.radio.unchecked.png", 14, 14},
    {":/image/label.drop.down.png", 8, 4},
    {":/image/label.drop.up.png", 8, 4},
    {":/image/btn.msg.close.png", 30, 24},
    {":/image/label.msg.tip.png", 40, 40},
    {":/image/label.selected.png", 12, 8},
    {":/image/label.expand.png", 5, 9},
};

const char* const kStyleSheets[] = {"main.css",        "HomeItem.css",  "FloatBar.css",   "ProcessTip.css",
                                    "MarkSetting.css", "ScreenBar.css", "MessageBox.css", "TPushButton.css"};

QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        g_warnings << message;
}

// Fills a template's %1, %2, ... with picture paths that exist.
QString filled(const QString& sheet)
{
    QString result = sheet;
    for (int i = 1; result.contains(QStringLiteral("%%1").arg(i)); ++i)
        result = result.arg(i == 1 ? QStringLiteral("12") : QStringLiteral(":/image/label.mode.png"));
    return result;
}

bool samePixels(const QString& a, const QString& b)
{
    return QImage(a).convertToFormat(QImage::Format_ARGB32) ==
           QImage(b).convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void compiledInResourcesNeedNoSkin();
    void everyPictureHasItsSize_data();
    void everyPictureHasItsSize();
    void everyPathNamedInTheCodeLoads();
    void styleSheetsParseAndTheirPicturesExist();
    void templatesCarryTheirPlaceholders();
    void variantsDifferFromTheirNormalLook();
    void spinnerHasTwelveDistinctFrames();
    void chineseTextHasAFont();
    void renderToolRendersAndRejects();

private:
    bool skinRegistered_ = false;
};

void TestResources::initTestCase()
{
    QSkin::init();
}

void TestResources::compiledInResourcesNeedNoSkin()
{
    // Pictures the code names and the style sheets are compiled in...
    for (const char* path : {":/image/logo.about.png", ":/image/label.selected.png", ":/animation/1.png",
                             ":/image/label.record.png", ":/qss/main.css"})
        QVERIFY2(QFile::exists(QString::fromLatin1(path)), path);
    // ...while the window chrome that only style sheets name comes with the skin file.
    QVERIFY(!QFile::exists(QStringLiteral(":/image/btn.min.png")));

    const QString skin = TestEnvironment::programDir() + QStringLiteral("/skin/skin");
    QVERIFY2(QFile::exists(skin), qPrintable(skin));
    QVERIFY(QResource::registerResource(skin, QString()));
    skinRegistered_ = true;
    QVERIFY(QFile::exists(QStringLiteral(":/image/btn.min.png")));
    QVERIFY(QFile::exists(QStringLiteral(":/skin/skin.css")));
}

void TestResources::everyPictureHasItsSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Picture& p : kPictures)
        QTest::newRow(p.path) << QString::fromLatin1(p.path) << QSize(p.width, p.height);
    for (int i = 1; i <= 12; ++i) {
        const QString path = QStringLiteral(":/animation/%1.png").arg(i);
        QTest::newRow(qPrintable(path)) << path << QSize(64, 64);
    }
}

void TestResources::everyPictureHasItsSize()
{
    QVERIFY(skinRegistered_);
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    // Drawn, not blank.
    bool painted = false;
    for (int y = 0; y < image.height() && !painted; ++y) {
        for (int x = 0; x < image.width() && !painted; ++x)
            painted = qAlpha(image.pixel(x, y)) > 0;
    }
    QVERIFY(painted);
}

void TestResources::everyPathNamedInTheCodeLoads()
{
    QVERIFY(skinRegistered_);
    const QString source = TestEnvironment::sourceDir();
    QVERIFY(!source.isEmpty());
    const QRegularExpression named(QStringLiteral(R"(:/(?:image|Images|animation)/[A-Za-z0-9_.%]+\.png)"));
    QStringList seen;
    for (const char* folder : {"reelcast", "controls", "common", "hostkit", "resources/qss"}) {
        QDirIterator it(
            source + QLatin1Char('/') + QLatin1String(folder),
            {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui"), QStringLiteral("*.css")},
            QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.contains(QStringLiteral("/gallery/")))
                continue;
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            auto matches = named.globalMatch(text);
            while (matches.hasNext()) {
                const QString path = matches.next().captured();
                QStringList paths;
                if (path == QLatin1String(":/animation/%1.png")) {
                    for (int i = 1; i <= 12; ++i)
                        paths << path.arg(i);
                } else if (path.contains(QLatin1Char('%'))) {
                    continue; // a template filled elsewhere; its results are named in full above
                } else {
                    paths << path;
                }
                for (const QString& p : qAsConst(paths)) {
                    QVERIFY2(!QImage(p).isNull(),
                             qPrintable(QStringLiteral("%1 (named in %2)").arg(p, file)));
                    seen << p;
                }
            }
        }
    }
    QVERIFY(seen.contains(QStringLiteral(":/image/label.selected.png")));
    QVERIFY(seen.contains(QStringLiteral(":/image/btn.msg.close.png")));
}

void TestResources::styleSheetsParseAndTheirPicturesExist()
{
    QVERIFY(skinRegistered_);
    const QRegularExpression url(QStringLiteral(R"(url\((:/[^)]+)\))"));
    for (const char* name : kStyleSheets) {
        const QString path = QStringLiteral(":/qss/") + QLatin1String(name);
        const QString sheet = QSkin::styleSheet(path);
        QVERIFY2(!sheet.isEmpty(), qPrintable(path));
        auto matches = url.globalMatch(sheet);
        while (matches.hasNext()) {
            const QString picture = matches.next().captured(1);
            QVERIFY2(!QImage(picture).isNull(), qPrintable(QStringLiteral("%1 in %2").arg(picture, path)));
        }

        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        QWidget widget;
        auto* label = new QLabel(QStringLiteral("录制"), &widget);
        widget.setStyleSheet(filled(sheet));
        widget.ensurePolished();
        label->ensurePolished();
        qInstallMessageHandler(previous);
        for (const QString& warning : qAsConst(g_warnings))
            QVERIFY2(!warning.contains(QStringLiteral("parse"), Qt::CaseInsensitive),
                     qPrintable(QStringLiteral("%1: %2").arg(path, warning)));
    }
}

void TestResources::templatesCarryTheirPlaceholders()
{
    const QString button = QSkin::styleSheet(QStringLiteral(":/qss/TPushButton.css"));
    for (int i = 1; i <= 7; ++i)
        QVERIFY(button.contains(QStringLiteral("%%1").arg(i)));
    QVERIFY(!button.contains(QStringLiteral("%8")));
    const QString tile = QSkin::styleSheet(QStringLiteral(":/qss/HomeItem.css"));
    for (int i = 1; i <= 4; ++i)
        QVERIFY(tile.contains(QStringLiteral("%%1").arg(i)));
    QVERIFY(!tile.contains(QStringLiteral("%5")));
    // The other sheets are applied as they are: no placeholder may be left in them.
    for (const char* name :
         {"main.css", "FloatBar.css", "ProcessTip.css", "MarkSetting.css", "ScreenBar.css", "MessageBox.css"})
        QVERIFY2(
            !QSkin::styleSheet(QStringLiteral(":/qss/") + QLatin1String(name)).contains(QLatin1Char('%')),
            name);
}

void TestResources::variantsDifferFromTheirNormalLook()
{
    QVERIFY(skinRegistered_);
    const QList<QPair<QString, QString>> pairs = {
        {QStringLiteral("label.mode"), QStringLiteral("label.mode.hover")},
        {QStringLiteral("label.audio"), QStringLiteral("label.audio.hover")},
        {QStringLiteral("label.audio"), QStringLiteral("label.audio.close")},
        {QStringLiteral("label.audio.close"), QStringLiteral("label.audio.close.hover")},
        {QStringLiteral("label.quality"), QStringLiteral("label.quality.hover")},
        {QStringLiteral("label.format"), QStringLiteral("label.format.hover")},
        {QStringLiteral("label.camera"), QStringLiteral("label.camera.hover")},
        {QStringLiteral("label.camera"), QStringLiteral("label.camera.disable")},
        {QStringLiteral("label.camera.disable"), QStringLiteral("label.disable.hover")},
        {QStringLiteral("item.drop.down"), QStringLiteral("item.drop.down.hover")},
        {QStringLiteral("btn.min"), QStringLiteral("btn.min.hover")},
        {QStringLiteral("btn.min.hover"), QStringLiteral("btn.min.pressed")},
        {QStringLiteral("btn.close"), QStringLiteral("btn.close.hover")},
        {QStringLiteral("btn.close.hover"), QStringLiteral("btn.close.pressed")},
        {QStringLiteral("label.radio.unchecked"), QStringLiteral("label.radio.checked")},
        {QStringLiteral("label.drop.down"), QStringLiteral("label.drop.up")},
    };
    for (const auto& pair : pairs) {
        const QString a = QStringLiteral(":/image/%1.png").arg(pair.first);
        const QString b = QStringLiteral(":/image/%1.png").arg(pair.second);
        QVERIFY2(!samePixels(a, b), qPrintable(a + QStringLiteral(" = ") + b));
    }

    // Each floating-bar strip holds three different 57 px cells.
    for (const char* name : {"start", "pause", "continue", "stop", "close"}) {
        const QImage strip(QStringLiteral(":/image/floating_btn_%1.png").arg(QLatin1String(name)));
        const QImage normal = strip.copy(0, 0, 48, 57);
        const QImage hover = strip.copy(0, 57, 48, 57);
        const QImage pressed = strip.copy(0, 114, 48, 57);
        QVERIFY2(normal != hover && hover != pressed && normal != pressed, name);
    }
}

void TestResources::spinnerHasTwelveDistinctFrames()
{
    QList<QImage> frames;
    for (int i = 1; i <= 12; ++i)
        frames << QImage(QStringLiteral(":/animation/%1.png").arg(i)).convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < 12; ++i) {
        QVERIFY(frames[i] != frames[(i + 1) % 12]);
        // A turning picture: every frame is equally heavy.
        qint64 alpha0 = 0, alpha = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                alpha0 += qAlpha(frames[0].pixel(x, y));
                alpha += qAlpha(frames[i].pixel(x, y));
            }
        }
        QVERIFY(qAbs(alpha - alpha0) < alpha0 / 50);
    }
}

void TestResources::chineseTextHasAFont()
{
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(14);
    const QFontMetrics metrics(font);
    for (const QChar c : QStringLiteral("录制提示确定取消"))
        QVERIFY2(metrics.inFont(c), qPrintable(QFontInfo(font).family()));
}

void TestResources::renderToolRendersAndRejects()
{
    const QString tool = TestEnvironment::programDir() + QStringLiteral("/../tools/svgrender");
    QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool));
    QTemporaryDir dir;
    QFile svg(dir.filePath(QStringLiteral("dot.svg")));
    QVERIFY(svg.open(QIODevice::WriteOnly));
    svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="20" height="10" viewBox="0 0 20 10">)"
              R"(<rect x="0" y="0" width="10" height="10" fill="#C6C6C6"/></svg>)");
    svg.close();
    QFile list(dir.filePath(QStringLiteral("list")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("# comment\n"
               "app  image/a.png  dot.svg\n"
               "skin image/b.png  dot.svg  size=40x20 recolor=#c6c6c6:#00A1FF\n"
               "app  image/c.png  dot.svg  rotate=180\n");
    list.close();
    QCOMPARE(QProcess::execute(tool, {list.fileName(), dir.path(), dir.filePath(QStringLiteral("out"))}), 0);
    const QImage a(dir.filePath(QStringLiteral("out/image/a.png")));
    const QImage b(dir.filePath(QStringLiteral("out/image/b.png")));
    const QImage c(dir.filePath(QStringLiteral("out/image/c.png")));
    QCOMPARE(a.size(), QSize(20, 10));
    QCOMPARE(a.pixelColor(2, 5), QColor(QStringLiteral("#C6C6C6")));
    QCOMPARE(a.pixelColor(15, 5).alpha(), 0);
    QCOMPARE(b.size(), QSize(40, 20));
    QCOMPARE(b.pixelColor(4, 10), QColor(QStringLiteral("#00A1FF")));
    QCOMPARE(c.pixelColor(15, 5), QColor(QStringLiteral("#C6C6C6")));
    QCOMPARE(c.pixelColor(2, 5).alpha(), 0);

    // A missing drawing, an unknown option or a colour that is not there fails the build.
    for (const QByteArray& line :
         {QByteArray("app image/x.png missing.svg\n"), QByteArray("app image/x.png dot.svg spin=3\n"),
          QByteArray("app image/x.png dot.svg recolor=#123456:#FFFFFF\n"),
          QByteArray("both image/x.png dot.svg\n")}) {
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
        list.write(line);
        list.close();
        QProcess process;
        process.start(tool, {list.fileName(), dir.path(), dir.filePath(QStringLiteral("out"))});
        QVERIFY(process.waitForFinished());
        QVERIFY2(process.exitCode() != 0, line.constData());
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
