// Every text of every window and menu, in English, is shown whole: for each visible label and
// button the width its text needs against the width it has, after clipping by its parents.
#include "HComboBox.h"
#include "HLayout.h"
#include "HMenu.h"
#include "HMessageBox.h"
#include "QFloatBar.h"
#include "QMainWidget.h"
#include "QProcessTip.h"
#include "QScreenBar.h"
#include "QSettingDialog.h"
#include "QSkin.h"
#include "TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QResource>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <memory>

using Show = std::function<std::shared_ptr<QWidget>()>;
Q_DECLARE_METATYPE(Show)

namespace {

// The part of `w` its ancestors leave visible, in its own coordinates.
QRect visibleRect(const QWidget* w)
{
    QRect r = w->rect();
    for (const QWidget* p = w; p && !p->isWindow(); p = p->parentWidget()) {
        const QWidget* parent = p->parentWidget();
        if (!parent)
            break;
        r &= QRect(parent->mapTo(w->window(), QPoint()) - w->mapTo(w->window(), QPoint()), parent->size());
    }
    return r;
}

// What is cut in the visible windows: one line per text that does not fit.
QStringList cutTexts()
{
    QStringList cuts;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        QList<QWidget*> widgets = top->findChildren<QWidget*>();
        widgets.prepend(top);
        for (QWidget* w : widgets) {
            if (!w->isVisible() || w->window() != top)
                continue;
            QString text;
            int needed = 0;
            int has = 0;
            if (auto* label = qobject_cast<QLabel*>(w)) {
                text = label->text();
                if (text.isEmpty() || label->textFormat() == Qt::RichText || Qt::mightBeRichText(text))
                    continue;
                const QRect inside = label->contentsRect() & visibleRect(label);
                // Scrolled out of a list's view.
                if (inside.height() < label->fontMetrics().height())
                    continue;
                if (label->wordWrap()) {
                    needed = label->heightForWidth(label->width());
                    has = inside.height();
                } else {
                    const int margins = label->margin() * 2 + qMax(label->indent(), 0);
                    needed = label->fontMetrics().horizontalAdvance(text) + margins;
                    has = inside.width();
                }
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                text = button->text();
                if (text.isEmpty())
                    continue;
                needed = button->sizeHint().width();
                has = (button->rect() & visibleRect(button)).width();
            } else {
                continue;
            }
            if (qEnvironmentVariableIsSet("TEXTSFIT_DEBUG"))
                qDebug() << needed << has << text << top;
            if (needed > has)
                cuts << QStringLiteral("%1 > %2 \"%3\" (%4 in %5)")
                            .arg(needed)
                            .arg(has)
                            .arg(text, QString::fromLatin1(w->metaObject()->className()),
                                 top->objectName().isEmpty()
                                     ? QString::fromLatin1(top->metaObject()->className())
                                     : top->objectName());
        }
    }
    return cuts;
}

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QTest::qWait(20);
    }
}

void closeAll()
{
    for (QWidget* top : QApplication::topLevelWidgets())
        top->hide();
}

// The longer English texts, which the program shows in message boxes: the translation file's
// translations of 40 characters and more.
QStringList longTexts()
{
    QFile file(TestEnvironment::sourceDir() + QStringLiteral("/language/reelcast_en.ts"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList texts;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNextStartElement() && xml.name() == QLatin1String("translation")) {
            const QString text = xml.readElementText();
            if (text.size() >= 40 && !text.contains(QLatin1Char('<')))
                texts << text;
        }
    }
    return texts;
}

} // namespace

class TestTextsFit : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env_;
    QTranslator translator_;

private slots:
    void initTestCase()
    {
        env_.reset(new TestEnvironment);
        QSkin::init();
        QResource::registerResource(TestEnvironment::programDir() + QStringLiteral("/skin/skin"));
        QVERIFY(translator_.load(TestEnvironment::programDir() + QStringLiteral("/language/reelcast_en.qm")));
        QApplication::installTranslator(&translator_);
    }

    void everyTextIsWhole_data()
    {
        QTest::addColumn<Show>("show");

        const auto mainWindow = [] {
            auto window = std::make_shared<QMainWidget>();
            window->show();
            return window;
        };
        QTest::newRow("main window") << Show(mainWindow);
        QTest::newRow("main window recording") << Show([mainWindow] {
            auto window = mainWindow();
            for (const char* name : {"btnStartRecord", "btnPauseRecord", "btnStopRecord"})
                window->findChild<QWidget*>(QLatin1String(name))->setVisible(qstrcmp(name, "btnStartRecord"));
            return window;
        });
        // One pop-up at a time: showing one closes the others.
        for (int i = 0; i < 5; ++i) {
            QTest::addRow("tile menu %d", i) << Show([mainWindow, i] {
                auto window = mainWindow();
                window->findChildren<HMenu*>().value(i)->popup(QPoint(0, 0));
                return window;
            });
        }
        QTest::newRow("tile sub-menus") << Show([mainWindow] {
            auto window = mainWindow();
            for (HLayout* panel : window->findChildren<HLayout*>()) {
                panel->adjustSize();
                panel->show();
            }
            return window;
        });
        QTest::newRow("help menu") << Show([mainWindow] {
            auto window = mainWindow();
            // The help menu has no parent; its language menu is its child.
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* menu = qobject_cast<QMenu*>(top)) {
                    menu->popup(QPoint(0, 0));
                    for (QMenu* sub : menu->findChildren<QMenu*>())
                        sub->popup(QPoint(300, 0));
                }
            }
            return window;
        });
        for (int page = 0; page < 3; ++page) {
            for (int sub = 0; sub < (page == 2 ? 3 : 1); ++sub) {
                QTest::addRow("settings page %d.%d", page, sub) << Show([page, sub] {
                    auto dialog = std::make_shared<QSettingDialog>(nullptr, page);
                    dialog->show();
                    if (page == 2) {
                        const auto stacks = dialog->findChildren<QStackedWidget*>();
                        for (QStackedWidget* stack : stacks) {
                            if (stack->count() == 3 && stack->objectName() != QLatin1String("stackedWidget"))
                                stack->setCurrentIndex(sub);
                        }
                    }
                    return std::shared_ptr<QWidget>(dialog);
                });
            }
        }
        const int lists = QSettingDialog(nullptr, 0).findChildren<HComboBox*>().size();
        for (int i = 0; i < lists; ++i) {
            QTest::addRow("settings list %d", i) << Show([i] {
                auto dialog = std::make_shared<QSettingDialog>(nullptr, 0);
                dialog->show();
                HComboBox* box = dialog->findChildren<HComboBox*>().at(i);
                box->menu()->setFixedWidth(box->width());
                box->menu()->popup(QPoint(0, 0));
                return std::shared_ptr<QWidget>(dialog);
            });
        }
        QTest::newRow("floating bar") << Show([] {
            auto bar = std::make_shared<QFloatBar>();
            bar->show();
            return bar;
        });
        for (bool result : {false, true}) {
            QTest::addRow("progress panel %s", result ? "result" : "waiting") << Show([result] {
                auto host = std::make_shared<QWidget>();
                host->resize(778, 444);
                auto* tip = new QProcessTip(host.get());
                host->show();
                result ? tip->showResult() : tip->showWaiting();
                return host;
            });
        }
        QTest::newRow("selection toolbar") << Show([] {
            auto bar = std::make_shared<QScreenBar>(nullptr);
            bar->show();
            return bar;
        });
        const QStringList texts = longTexts();
        for (const QString& text : texts) {
            QTest::addRow("message %s", qPrintable(text.left(40))) << Show([text] {
                auto box = std::make_shared<HMessageBox>(nullptr);
                box->setText(text);
                box->setButtons(3);
                box->show();
                return box;
            });
        }
    }

    void everyTextIsWhole()
    {
        QFETCH(Show, show);
        const std::shared_ptr<QWidget> window = show();
        settle();
        const QStringList cuts = cutTexts();
        closeAll();
        QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestTextsFit)
#include "tst_textsfit.moc"
