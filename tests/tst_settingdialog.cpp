// The settings dialog and its tabs, driven by clicks and keys: every change is stored at once,
// the tiles hear of quality and format through the registry, a hot-key conflict is refused, and
// the save folder and the watermark picture pass through their file dialogs.
#include "CGlobal.h"
#include "CSetting.h"
#include "HComboBox.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "HMessageBox.h"
#include "QEventManager.h"
#include "QKeyManager.h"
#include "QMarkSettings.h"
#include "QPath.h"
#include "QSettingDialog.h"
#include "QSkin.h"
#include "QTabButton.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QResource>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>

#include <functional>
#include <memory>

// Stands in for the quality and format tiles, which register under their identifiers.
class FakeTile : public QObject
{
    Q_OBJECT
public:
    QList<int> received;
public slots:
    void onSelectedQuality(int quality) { received << quality; }
    void onSelectedFormat(int format) { received << format; }
};

namespace {

// Acts on the next modal window of type T once it is up. Polls instead of waiting in a nested
// event loop, so that the window's own loop can end after the action.
template <typename T> void onModal(std::function<void(T*)> action)
{
    auto* timer = new QTimer;
    auto* tries = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!window && ++*tries < 250)
            return;
        timer->stop();
        timer->deleteLater();
        delete tries;
        if (window)
            action(window);
    });
    timer->start(20);
}

// Confirms the message box that comes up and hands back its text.
void confirmMessage(QString* text)
{
    onModal<HMessageBox>([text](HMessageBox* box) {
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("labelMsg")))
            *text = label->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

// Opens the box's list and clicks the entry with this text.
void choose(HComboBox* box, const QString& text)
{
    click(box);
    HMenu* menu = box->menu();
    QTRY_VERIFY(menu->isVisible());
    for (QWidget* item : menu->items()) {
        auto* entry = qobject_cast<HMenuItem*>(item);
        if (entry && entry->text() == text) {
            if (auto* area = menu->findChild<QScrollArea*>())
                area->ensureWidgetVisible(entry);
            click(entry);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no entry ") + text));
}

// Answers the file dialog that is up with `path`, typed into its name field.
void answerFileDialog(const QString& path)
{
    onModal<QFileDialog>([path](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->clear();
        QTest::keyClicks(name, path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

template <typename T> T* child(QWidget* dialog, const char* name)
{
    T* found = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qWarning("no %s", name);
    return found;
}

} // namespace

class TestSettingDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env_.reset(new TestEnvironment);
        // The program folder (where the picture is copied) is the working folder.
        QDir::setCurrent(env_->home());
        QCOMPARE(QPath::programFolder(), env_->home() + QLatin1Char('/'));
        QSkin::init();
        QEventManager::instance()->registerObject(QualityItem, &qualityTile_);
        QEventManager::instance()->registerObject(FormatItem, &formatTile_);
    }

    void qualityAndFormatRadiosStoreAndReachTiles()
    {
        QSettingDialog dialog(nullptr, 0);
        const struct
        {
            const char* radio;
            bool quality;
            int value;
        } clicks[] = {{"radioFmt2", false, MP4},    {"radioFmt1", false, AVI},
                      {"radioFmt3", false, FLV},    {"radioQuality1", true, Low},
                      {"radioQuality4", true, HD},  {"radioQuality2", true, Recommended},
                      {"radioQuality3", true, High}};
        for (const auto& c : clicks) {
            qualityTile_.received.clear();
            formatTile_.received.clear();
            click(child<QRadioButton>(&dialog, c.radio));
            QCOMPARE(c.quality ? QVideoSettings::getQuality() : QVideoSettings::getFormat(), c.value);
            QCOMPARE(c.quality ? qualityTile_.received : formatTile_.received, QList<int>{c.value});
            QCOMPARE(c.quality ? formatTile_.received : qualityTile_.received, QList<int>{});
        }
    }

    void storedChoicesAreChecked_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("checkedFormat");
        QTest::addColumn<QString>("checkedQuality");
        QTest::newRow("FLV, high") << int(FLV) << int(High) << "radioFmt3"
                                   << "radioQuality3";
        QTest::newRow("WMV has no radio") << int(WMV) << int(Low) << ""
                                          << "radioQuality1";
        QTest::newRow("out of range") << 9 << 4 << ""
                                      << "";
    }
    void storedChoicesAreChecked()
    {
        QFETCH(int, format);
        QFETCH(int, quality);
        QFETCH(QString, checkedFormat);
        QFETCH(QString, checkedQuality);
        QVideoSettings::setFormat(format);
        QVideoSettings::setQuality(quality);
        QSettingDialog dialog(nullptr, 0);
        for (QRadioButton* radio : dialog.findChildren<QRadioButton*>()) {
            const QString name = radio->objectName();
            if (name.startsWith(QLatin1String("radioFmt")) || name.startsWith(QLatin1String("radioQuality")))
                QCOMPARE(radio->isChecked(), name == checkedFormat || name == checkedQuality);
        }
        // Opening stores nothing.
        QCOMPARE(QVideoSettings::getFormat(), format);
    }

    void tabsSwitchPagesAndStayChecked()
    {
        QSettingDialog dialog(nullptr, 2);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* pages = child<QStackedWidget>(&dialog, "stackedWidget");
        const QList<QTabButton*> tabs = dialog.findChildren<QTabButton*>();
        QCOMPARE(tabs.size(), 3);
        // The checked tabs; a tab that is lit but unchecked, or the reverse, counts as -1.
        auto checkedTabs = [&] {
            QList<int> on;
            for (int i = 0; i < tabs.size(); ++i) {
                const bool lit = tabs[i]->property("class").toString() == QStringLiteral("tab_hover");
                if (lit != tabs[i]->isChecked())
                    on << -1;
                else if (lit)
                    on << i;
            }
            return on;
        };
        QCOMPARE(pages->currentIndex(), 2);
        QCOMPARE(checkedTabs(), QList<int>{2});
        click(tabs[1]);
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(checkedTabs(), QList<int>{1});
        // A click on the shown tab keeps it; a page without a tab changes nothing.
        click(tabs[1]);
        QCOMPARE(checkedTabs(), QList<int>{1});
        dialog.onTabClicked(3);
        dialog.onTabClicked(-1);
        QCOMPARE(pages->currentIndex(), 1);
        QCOMPARE(checkedTabs(), QList<int>{1});

        // Hover lights an unchecked tab until the pointer leaves; the checked one stays lit.
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(tabs[0], &enter);
        QCOMPARE(tabs[0]->property("class").toString(), QStringLiteral("tab_hover"));
        QCOMPARE(tabs[0]->findChild<QLabel*>(QStringLiteral("buttonText"))->property("class").toString(),
                 QStringLiteral("tab_hover"));
        QApplication::sendEvent(tabs[0], &leave);
        QApplication::sendEvent(tabs[1], &leave);
        QCOMPARE(checkedTabs(), QList<int>{1});
    }

    void hotKeyChoices()
    {
        QKeyManager* keys = QKeyManager::instance();
        QVideoSettings::setKeyStartFirst(QStringLiteral("Alt"));
        QVideoSettings::setKeyStartSecond(QStringLiteral("A"));
        QVideoSettings::setKeyStopFirst(QStringLiteral("Ctrl"));
        QVideoSettings::setKeyStopSecond(QStringLiteral("F7"));
        keys->clearHotKeys();
        keys->setHotKey(Qt::Key_Alt, Qt::Key_A, 0);
        keys->setHotKey(Qt::Key_Control, Qt::Key_F7, 1);
        QSettingDialog dialog(nullptr, 1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* stopFirst = child<HComboBox>(&dialog, "comboStopFirst");
        auto* stopSecond = child<HComboBox>(&dialog, "comboStopSecond");
        QCOMPARE(child<HComboBox>(&dialog, "comboStartSecond")->currentText(), QStringLiteral("A"));
        QCOMPARE(stopSecond->count(), 47);

        // The same modifier again: refused without a word.
        QCOMPARE(dialog.onKeyStopFirstChanged(QStringLiteral("Ctrl")), false);
        QVERIFY(!QApplication::activeModalWidget());

        // Ctrl+B shares its identifier with Alt+A: refused with the message, the box keeps F7.
        QString message;
        confirmMessage(&message);
        choose(stopSecond, QStringLiteral("B"));
        QCOMPARE(message, QStringLiteral("热键有冲突，请更换其它快捷键！"));
        QCOMPARE(stopSecond->currentText(), QStringLiteral("F7"));
        QCOMPARE(QVideoSettings::getKeyStopSecond(), QStringLiteral("F7"));
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Control, Qt::Key_F7));

        // A free one is taken: registered for its kind, the old one released, the name stored.
        choose(stopFirst, QStringLiteral("Shift"));
        QCOMPARE(stopFirst->currentText(), QStringLiteral("Shift"));
        QCOMPARE(QVideoSettings::getKeyStopFirst(), QStringLiteral("Shift"));
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Shift, Qt::Key_F7));
        QVERIFY(!keys->isHotKeyUsed(Qt::Key_Control, Qt::Key_F7));
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Alt, Qt::Key_A));
        keys->clearHotKeys();
    }

    // The hot-key page says who binds the keys where this program does not grab them itself.
    void hotKeyPageNamesTheBinding_data()
    {
        QTest::addColumn<int>("binding");
        QTest::addColumn<QString>("says");
        QTest::newRow("own grabs") << int(QKeyManager::Binding::Own) << QString();
        QTest::newRow("the desktop's") << int(QKeyManager::Binding::Desktop) << QStringLiteral("桌面绑定");
        QTest::newRow("none") << int(QKeyManager::Binding::Unavailable)
                              << QStringLiteral("reelcast --toggle");
    }

    void hotKeyPageNamesTheBinding()
    {
        QFETCH(int, binding);
        QFETCH(QString, says);
        QKeyManager::instance()->setBinding(QKeyManager::Binding(binding));
        auto restore = qScopeGuard([] { QKeyManager::instance()->setBinding(QKeyManager::Binding::Own); });
        QSettingDialog dialog(nullptr, 1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* note = dialog.findChild<QLabel*>(QStringLiteral("labelKeyNote"));
        QCOMPARE(note != nullptr, !says.isEmpty());
        if (note) {
            QVERIFY2(note->text().contains(says), qPrintable(note->text()));
            // Whole on the page: wrapped within its width, not cut below.
            QVERIFY(note->isVisible());
            QVERIFY(note->height() >= note->heightForWidth(note->width()));
            const QString folder = QString::fromLocal8Bit(qgetenv("REELCAST_SCREENSHOTS"));
            if (!folder.isEmpty())
                dialog.grab().save(
                    QStringLiteral("%1/settings-hotkeys-binding-%2.png").arg(folder).arg(binding));
        }
    }

    void watermarkFields()
    {
        QMarkSettings::setTextSize(36);
        QMarkSettings::setImageOpacity(50);
        QMarkSettings::setTextOpacity(20);
        QSettingDialog dialog(nullptr, 2);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* marks = child<QStackedWidget>(&dialog, "stackedWidgetMark");
        click(child<QRadioButton>(&dialog, "radioMark3"));
        QCOMPARE(QMarkSettings::getType(), int(TextMark));
        QCOMPARE(marks->currentIndex(), 2);

        // The size takes digits only, four at most; an emptied field stores 0.
        auto* size = child<QLineEdit>(&dialog, "lineEditSize");
        size->selectAll();
        QTest::keyClicks(size, QStringLiteral("4x8-b123"));
        QCOMPARE(size->text(), QStringLiteral("4812"));
        QCOMPARE(QMarkSettings::getTextSize(), 4812);
        size->selectAll();
        QTest::keyClick(size, Qt::Key_Backspace);
        QCOMPARE(CSetting::getInt("mark_text", "size", -1), 0);
        // Read back where it is used, a size of 0 is the default.
        QCOMPARE(QMarkSettings::getTextSize(), 36);

        auto* text = child<QLineEdit>(&dialog, "lineEditText");
        text->selectAll();
        QTest::keyClicks(text, QStringLiteral("Mark ok"));
        QCOMPARE(QMarkSettings::getText(), QStringLiteral("Mark ok"));

        // Every step of a slider is stored and shown.
        click(child<QRadioButton>(&dialog, "radioMark2"));
        QCOMPARE(marks->currentIndex(), 1);
        const struct
        {
            const char* slider;
            const char* label;
            int start;
            int (*stored)();
        } sliders[] = {{"hImageOpacity", "labelImageOpacity", 50, &QMarkSettings::getImageOpacity},
                       {"hTextOpacity", "labelTextOpacity", 20, &QMarkSettings::getTextOpacity}};
        for (const auto& s : sliders) {
            auto* slider = child<QSlider>(&dialog, s.slider);
            auto* label = child<QLabel>(&dialog, s.label);
            QCOMPARE(label->text(), QStringLiteral("%1%").arg(s.start));
            slider->setFocus();
            for (int expected : {s.start + 1, s.start + 2, s.start + 1}) {
                QTest::keyClick(slider, expected > s.stored() ? Qt::Key_Right : Qt::Key_Left);
                QCOMPARE(s.stored(), expected);
                QCOMPARE(label->text(), QStringLiteral("%1%").arg(expected));
            }
            QTest::keyClick(slider, Qt::Key_End);
            QCOMPARE(s.stored(), 100);
            QCOMPARE(label->text(), QStringLiteral("100%"));
        }

        // Corner and colour boxes store the index.
        const QList<HComboBox*> boxes = dialog.findChildren<HComboBox*>();
        HComboBox* color = nullptr;
        for (HComboBox* box : boxes) {
            if (box->currentText() == QStringLiteral("黑色"))
                color = box;
        }
        QVERIFY(color);
        choose(color, QStringLiteral("绿色"));
        QCOMPARE(QMarkSettings::getTextColor(), int(Green));
    }

    void saveFolder()
    {
        const QString previous = QStringLiteral("/previous/folder");
        QVideoSettings::setSavePath(previous);
        QSettingDialog dialog(nullptr, 0);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* shown = child<QLineEdit>(&dialog, "lineEditSave");
        QCOMPARE(shown->text(), previous);

        // A read-only file system: even root cannot write there.
        const QString readOnly = env_->home() + QStringLiteral("/read only");
        QDir().mkpath(readOnly);
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("ro,size=64k"), QStringLiteral("tmpfs"), readOnly}) == 0) {
            struct Unmount
            {
                QString path;
                ~Unmount() { QProcess::execute(QStringLiteral("umount"), {path}); }
            } unmount{readOnly};
            QString message;
            answerFileDialog(readOnly);
            confirmMessage(&message);
            click(child<QPushButton>(&dialog, "btnSelected"));
            QTRY_COMPARE(message, QStringLiteral("当前软件不具有该文件夹的写入权限，请选择其它文件夹！"));
            QCOMPARE(QVideoSettings::getSavePath(), previous);
            QCOMPARE(shown->text(), previous);
        } else {
            qWarning("cannot mount a read-only file system here; the refusal is not tested");
        }

        const QString writable = env_->home() + QStringLiteral("/Videos/my recordings");
        QDir().mkpath(writable);
        answerFileDialog(writable);
        click(child<QPushButton>(&dialog, "btnSelected"));
        QCOMPARE(QVideoSettings::getSavePath(), QDir::toNativeSeparators(writable));
        QCOMPARE(shown->text(), QDir::toNativeSeparators(writable));
        QCOMPARE(shown->cursorPosition(), 0);
        QVERIFY(!QFile::exists(writable + QStringLiteral("/test.tst")));
    }

    void watermarkPicture()
    {
        QMarkSettings::setImage(QString());
        const QString picture = env_->home() + QStringLiteral("/Desktop/logo.png");
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(picture));
        QSettingDialog dialog(nullptr, 2);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* shown = child<QLineEdit>(&dialog, "lineEditImage");
        answerFileDialog(picture);
        click(child<QPushButton>(&dialog, "btnImport"));
        QCOMPARE(QMarkSettings::getImage(), QDir::toNativeSeparators(picture));
        QCOMPARE(shown->text(), QDir::toNativeSeparators(picture));
        QCOMPARE(QImage(QPath::programFolder() + QStringLiteral("mark.png")).pixelColor(0, 0),
                 QColor(Qt::red));
        // Typing in the field changes nothing stored.
        QTest::keyClicks(shown, QStringLiteral("xyz"));
        QCOMPARE(QMarkSettings::getImage(), QDir::toNativeSeparators(picture));
    }

    // With REELCAST_SCREENSHOTS set, the pages are saved there as the screen shows them.
    void screenshots()
    {
        const QString folder = QString::fromLocal8Bit(qgetenv("REELCAST_SCREENSHOTS"));
        if (folder.isEmpty())
            QSKIP("REELCAST_SCREENSHOTS not set");
        // The skin file beside the program carries the radio marks, arrows and close button.
        QVERIFY(QResource::registerResource(TestEnvironment::programDir() + QStringLiteral("/skin/skin")));
        QVideoSettings::setQuality(Recommended);
        QVideoSettings::setFormat(MP4);
        const struct
        {
            int page;
            int markType;
            const char* name;
        } shots[] = {{0, TextMark, "general"},
                     {1, TextMark, "hotkeys"},
                     {2, TextMark, "watermark-text"},
                     {2, ImageMark, "watermark-picture"}};
        for (const auto& shot : shots) {
            QMarkSettings::setType(shot.markType);
            QSettingDialog dialog(nullptr, shot.page);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QTest::qWait(200);
            const QRect area = dialog.frameGeometry();
            const QPixmap picture =
                dialog.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            QVERIFY(picture.save(QStringLiteral("%1/settings-%2.png").arg(folder, QLatin1String(shot.name))));
            if (shot.page == 1) {
                // The key list open, with its scroll bar.
                click(child<HComboBox>(&dialog, "comboStartSecond"));
                QTest::qWait(200);
                QVERIFY(dialog.screen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height() + 200)
                            .save(QStringLiteral("%1/settings-hotkeys-list.png").arg(folder)));
            }
        }
    }

private:
    std::unique_ptr<TestEnvironment> env_;
    FakeTile qualityTile_;
    FakeTile formatTile_;
};

QTEST_MAIN(TestSettingDialog)
#include "tst_settingdialog.moc"
