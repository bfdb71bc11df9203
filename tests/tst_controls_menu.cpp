// Pop-up menu: entries, check marks across sub-menus, refusal by the receiver, sub-menus that
// survive the move into them, scrolling and closing on deactivation. Driven by pointer moves
// through the platform cursor and clicks routed by the window system layer.
#include "HLayout.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "QSkin.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Moves the platform cursor; the offscreen platform turns this into enter, leave and move events.
void hover(QWidget* widget, QPoint pos = QPoint(-1, -1))
{
    if (pos == QPoint(-1, -1))
        pos = widget->rect().center();
    QCursor::setPos(widget->mapToGlobal(pos));
    QCoreApplication::processEvents();
}

void hoverAt(const QPoint& global)
{
    QCursor::setPos(global);
    QCoreApplication::processEvents();
}

// A left click that the window system layer routes to the widget under the pointer.
void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), button, Qt::NoModifier,
                      widget->mapTo(window, widget->rect().center()));
}

// A receiver for an entry's clicked(): counts the questions and gives a fixed answer.
struct Receiver
{
    int asked = 0;
    bool answer = true;
};

void answer(HMenuItem* item, Receiver* receiver)
{
    QObject::connect(item, &HMenuItem::clicked, item, [receiver] {
        ++receiver->asked;
        return receiver->answer;
    });
}

} // namespace

class TestControlsMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void entryLayoutAndDefaults();
    void checkMarksAreExclusiveAcrossSubMenus();
    void refusedChoiceKeepsPreviousMarkAndCloses();
    void unconnectedEntryClosesAndMarksNothing();
    void entryWithSubMenuIsNotAChoice();
    void releaseWithoutPressIsNoClick();
    void subMenuOpensToTheRightAndSurvivesTheMove();
    void subMenuClosesWhenPointerGoesElsewhere();
    void hoverAndPressSetStatus();
    void longMenuScrollsWithinTwoHundredPixels();
    void deactivationHidesMenuOnce();
    void clearRemovesEntries();

private:
    void openMenu(HMenu* menu);
    std::unique_ptr<QWidget> host_;
};

void TestControlsMenu::initTestCase()
{
    QSkin::init();
}

void TestControlsMenu::cleanup()
{
    host_.reset();
    hoverAt(QPoint(1900, 1000));
}

void TestControlsMenu::openMenu(HMenu* menu)
{
    menu->popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
}

void TestControlsMenu::entryLayoutAndDefaults()
{
    HMenuItem item(QStringLiteral("区域录制"));
    QCOMPARE(item.text(), QStringLiteral("区域录制"));
    QVERIFY(!item.isSelected());

    // Nothing connected: the question is answered with false.
    QSignalSpy selected(&item, &HMenuItem::selected);
    QCOMPARE(item.clicked(), false);

    // Marking announces the selection to the other entries; unmarking does not.
    item.setSelected(true);
    QVERIFY(item.isSelected());
    QCOMPARE(selected.count(), 1);
    item.setSelected(false);
    QVERIFY(!item.isSelected());
    QCOMPARE(selected.count(), 1);
}

void TestControlsMenu::checkMarksAreExclusiveAcrossSubMenus()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* a = new HMenuItem(QStringLiteral("A"));
    auto* b = new HMenuItem(QStringLiteral("B"));
    auto* c = new HMenuItem(QStringLiteral("C"));
    auto* b1 = new HMenuItem(QStringLiteral("B1"));
    auto* b2 = new HMenuItem(QStringLiteral("B2"));
    menu->addItem(a);
    menu->addItem(b);
    menu->addItem(c);
    b->addSubItem(b1);
    b->addSubItem(b2);
    Receiver yes;
    for (HMenuItem* item : {a, c, b1, b2})
        answer(item, &yes);
    QSignalSpy menuSelected(menu, &HMenu::selected);

    openMenu(menu);
    click(a);
    QVERIFY(!menu->isVisible());
    QVERIFY(a->isSelected());
    QCOMPARE(menuSelected.count(), 1);
    QCOMPARE(menuSelected.last().at(0).value<QWidget*>(), a);

    // A sub-entry takes the mark from the top level; its owner announces itself to the menu.
    openMenu(menu);
    hover(b);
    QTRY_VERIFY(b->subMenu()->isVisible());
    hover(b1);
    click(b1);
    QVERIFY(!menu->isVisible());
    QVERIFY(!b->subMenu()->isVisible());
    QVERIFY(b1->isSelected());
    QVERIFY(!a->isSelected());
    QVERIFY(!b->isSelected());
    QCOMPARE(menuSelected.last().at(0).value<QWidget*>(), b);

    // Within the sub-menu the mark moves too.
    b2->setSelected(true);
    QVERIFY(b2->isSelected());
    QVERIFY(!b1->isSelected());

    // Back to the top level: the sub-menu loses its mark.
    openMenu(menu);
    click(c);
    QVERIFY(c->isSelected());
    QVERIFY(!b1->isSelected());
    QVERIFY(!b2->isSelected());
    QVERIFY(!a->isSelected());
    QCOMPARE(yes.asked, 3);
}

void TestControlsMenu::refusedChoiceKeepsPreviousMarkAndCloses()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* first = new HMenuItem(QStringLiteral("低质量"));
    auto* second = new HMenuItem(QStringLiteral("高清"));
    menu->addItem(first);
    menu->addItem(second);
    Receiver accepting;
    Receiver refusing;
    refusing.answer = false;
    answer(first, &accepting);
    answer(second, &refusing);
    first->setSelected(true);
    QSignalSpy hidden(menu, &HMenu::menu_hide);
    QSignalSpy selected(menu, &HMenu::selected);

    openMenu(menu);
    click(second);
    QCOMPARE(refusing.asked, 1);
    QVERIFY(!menu->isVisible());
    QCOMPARE(hidden.count(), 1);
    QVERIFY(first->isSelected());
    QVERIFY(!second->isSelected());
    QCOMPARE(selected.count(), 0);
}

void TestControlsMenu::unconnectedEntryClosesAndMarksNothing()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* item = new HMenuItem(QStringLiteral("游戏录制"));
    menu->addItem(item);
    QSignalSpy hidden(menu, &HMenu::menu_hide);
    openMenu(menu);
    click(item);
    QVERIFY(!menu->isVisible());
    QCOMPARE(hidden.count(), 1);
    QVERIFY(!item->isSelected());
}

void TestControlsMenu::entryWithSubMenuIsNotAChoice()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* full = new HMenuItem(QStringLiteral("全屏录制"));
    menu->addItem(full);
    auto* monitor = new HMenuItem(QStringLiteral("显示器1"));
    full->addSubItem(monitor);
    Receiver receiver;
    answer(full, &receiver);
    openMenu(menu);
    click(full);
    QVERIFY(menu->isVisible());
    QCOMPARE(receiver.asked, 0);
    QVERIFY(!full->isSelected());
}

void TestControlsMenu::releaseWithoutPressIsNoClick()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* item = new HMenuItem(QStringLiteral("AVI"));
    menu->addItem(item);
    Receiver receiver;
    answer(item, &receiver);
    openMenu(menu);
    QTest::mouseRelease(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                        item->mapTo(menu, item->rect().center()));
    QCOMPARE(receiver.asked, 0);
    QVERIFY(menu->isVisible());
}

void TestControlsMenu::subMenuOpensToTheRightAndSurvivesTheMove()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* full = new HMenuItem(QStringLiteral("全屏录制"));
    auto* area = new HMenuItem(QStringLiteral("区域录制"));
    menu->addItem(full);
    menu->addItem(area);
    auto* one = new HMenuItem(QStringLiteral("显示器1"));
    auto* two = new HMenuItem(QStringLiteral("显示器2"));
    full->addSubItem(one);
    full->addSubItem(two);
    QSignalSpy hoverIn(two, &HMenuItem::hover_in);
    QSignalSpy hoverOut(two, &HMenuItem::hover_out);
    openMenu(menu);

    hover(full);
    HLayout* sub = full->subMenu();
    QTRY_VERIFY(sub->isVisible());
    QCOMPARE(sub->pos(), full->mapToGlobal(QPoint(full->width(), 0)));
    QCOMPARE(full->property("status").toString(), QStringLiteral("hover"));

    // Straight into the sub-menu: still open well after the 50 ms grace time.
    hover(two);
    QVERIFY(sub->isHovered());
    QTest::qWait(150);
    QVERIFY(sub->isVisible());
    QCOMPARE(hoverIn.count(), 1);

    // Onto another entry of the menu: the sub-menu closes.
    hover(area);
    QTRY_VERIFY(!sub->isVisible());
    QCOMPARE(hoverOut.count(), 1);
    QCOMPARE(full->property("status").toString(), QStringLiteral("normal"));

    // Back onto the entry reopens it. Leaving it for a moment and coming back within 50 ms: the
    // close that leaving scheduled does not apply while the pointer rests on the entry.
    hover(full);
    QVERIFY(sub->isVisible());
    hover(area);
    hover(full);
    QVERIFY(sub->isVisible());
    QTest::qWait(120);
    QVERIFY(sub->isVisible());
    QCOMPARE(full->property("status").toString(), QStringLiteral("hover"));

    // Clicking a sub-entry closes the whole menu.
    hover(one);
    click(one);
    QVERIFY(!sub->isVisible());
    QVERIFY(!menu->isVisible());
}

void TestControlsMenu::subMenuClosesWhenPointerGoesElsewhere()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* full = new HMenuItem(QStringLiteral("全屏录制"));
    menu->addItem(full);
    full->addSubItem(new HMenuItem(QStringLiteral("显示器1")));
    openMenu(menu);
    hover(full);
    QTRY_VERIFY(full->subMenu()->isVisible());

    // Away from menu and sub-menu: closed once the 50 ms have passed, not before.
    hoverAt(QPoint(1800, 900));
    QVERIFY(full->subMenu()->isVisible());
    QTRY_VERIFY(!full->subMenu()->isVisible());
    QCOMPARE(full->property("status").toString(), QStringLiteral("normal"));
    QVERIFY(menu->isVisible());
}

void TestControlsMenu::hoverAndPressSetStatus()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    auto* item = new HMenuItem(QStringLiteral("MP4"));
    auto* other = new HMenuItem(QStringLiteral("FLV"));
    menu->addItem(item);
    menu->addItem(other);
    openMenu(menu);
    auto* text = item->findChild<QLabel*>(QStringLiteral("HMenuItemText"));

    hover(item);
    QCOMPARE(item->property("status").toString(), QStringLiteral("hover"));
    QCOMPARE(text->property("status").toString(), QStringLiteral("hover"));
    QTest::mousePress(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      item->mapTo(menu, item->rect().center()));
    QCOMPARE(item->property("status").toString(), QStringLiteral("pressed"));
    QTest::mouseRelease(menu->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                        item->mapTo(menu, item->rect().center()));

    openMenu(menu);
    hover(other);
    QCOMPARE(item->property("status").toString(), QStringLiteral("normal"));
    QCOMPARE(other->property("status").toString(), QStringLiteral("hover"));

    // A disabled entry neither reacts to the pointer nor clicks.
    Receiver receiver;
    answer(item, &receiver);
    item->setEnabled(false);
    hover(item);
    click(item);
    QCOMPARE(receiver.asked, 0);
    QCOMPARE(item->property("status").toString(), QStringLiteral("normal"));
}

void TestControlsMenu::longMenuScrollsWithinTwoHundredPixels()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    for (int i = 1; i <= 12; ++i)
        menu->addItem(new HMenuItem(QStringLiteral("F%1").arg(i)));
    openMenu(menu);
    QCOMPARE(menu->height(), 200);
    auto* area = menu->findChild<QScrollArea*>(QStringLiteral("HMenu"));
    QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!area->verticalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->maximum() > 0);

    // The last entry is reachable by scrolling.
    QWidget* last = menu->items().last();
    area->ensureWidgetVisible(last);
    QVERIFY(area->verticalScrollBar()->value() > 0);

    menu->setScrollBarVisible(true);
    QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QTRY_VERIFY(area->verticalScrollBar()->isVisible());
    menu->setScrollBarVisible(false);
    QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // A short menu keeps its natural height.
    HMenu shortMenu;
    shortMenu.addItem(new HMenuItem(QStringLiteral("Alt")));
    shortMenu.popup(QPoint(400, 100));
    QVERIFY(QTest::qWaitForWindowExposed(&shortMenu));
    QVERIFY(shortMenu.height() < 200);
    QVERIFY(shortMenu.height() >= 30 + 10);
}

void TestControlsMenu::deactivationHidesMenuOnce()
{
    host_ = std::make_unique<QWidget>();
    host_->setGeometry(600, 400, 200, 100);
    host_->show();
    QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
    auto* menu = new HMenu(host_.get());
    auto* full = new HMenuItem(QStringLiteral("全屏录制"));
    menu->addItem(full);
    full->addSubItem(new HMenuItem(QStringLiteral("显示器1")));
    QSignalSpy hidden(menu, &HMenu::menu_hide);

    openMenu(menu);
    QTRY_VERIFY(menu->isActiveWindow());
    hover(full);
    QTRY_VERIFY(full->subMenu()->isVisible());

    // Another window becomes active, as when the user clicks outside the menu.
    host_->activateWindow();
    QTRY_VERIFY(!menu->isVisible());
    QVERIFY(!full->subMenu()->isVisible());
    QCOMPARE(hidden.count(), 1);
    QTest::qWait(50);
    QCOMPARE(hidden.count(), 1);
}

void TestControlsMenu::clearRemovesEntries()
{
    host_ = std::make_unique<QWidget>();
    auto* menu = new HMenu(host_.get());
    QPointer<QWidget> item = new HMenuItem(QStringLiteral("摄像头1"));
    menu->addItem(item);
    menu->addItem(new HMenuItem(QStringLiteral("关闭")));
    menu->clear();
    QVERIFY(menu->items().isEmpty());
    QTRY_VERIFY(item.isNull());
    menu->addItem(new HMenuItem(QStringLiteral("关闭")));
    QCOMPARE(menu->items().size(), 1);
}

QTEST_MAIN(TestControlsMenu)
#include "tst_controls_menu.moc"
