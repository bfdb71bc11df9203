// Label-based buttons and the combo box: clicks, the checked flag, the "status" look rule and the
// combo box's index/text map, its list and refusal of a choice by the listener.
#include "HComboBox.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "QSkin.h"
#include "TButton.h"
#include "TPushButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

void hover(QWidget* widget)
{
    QCursor::setPos(widget->mapToGlobal(widget->rect().center()));
    QCoreApplication::processEvents();
}

void hoverAt(const QPoint& global)
{
    QCursor::setPos(global);
    QCoreApplication::processEvents();
}

// Press and release routed by the window system layer, so the release goes to the widget that
// took the press wherever it happens.
void press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* window = widget->window();
    QTest::mousePress(window->windowHandle(), button, Qt::NoModifier,
                      widget->mapTo(window, widget->rect().center()));
}

void release(QWidget* window, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseRelease(window->windowHandle(), button, Qt::NoModifier, pos);
}

void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), button, Qt::NoModifier,
                      widget->mapTo(window, widget->rect().center()));
}

QColor textColour(QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestControlsButtons : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void plainButtonReportsFalseOnEveryClick();
    void checkableButtonInvertsBeforeReporting();
    void releaseAnywhereAfterPressClicks();
    void setCheckedOnlyChangesCheckableButtons();
    void pushButtonParts();
    void hoverLookFollowsStatusAndStyleSheet();
    void checkedPushButtonKeepsHoverLook();

    void firstEntryIsShownBeforeAnySelection();
    void setCurrentIndexAndTextIgnoreUnknownChoices();
    void listOpensBelowBoxAndArrowFollows();
    void unconnectedBoxNeverChangesItsText();
    void listenerDecidesWhetherChoiceIsTaken();

private:
    std::unique_ptr<QWidget> window_;
    QWidget* makeWindow();
};

void TestControlsButtons::initTestCase()
{
    QSkin::init();
}

void TestControlsButtons::cleanup()
{
    window_.reset();
    hoverAt(QPoint(1900, 1000));
}

QWidget* TestControlsButtons::makeWindow()
{
    window_ = std::make_unique<QWidget>();
    window_->setGeometry(200, 200, 400, 200);
    new QHBoxLayout(window_.get());
    return window_.get();
}

void TestControlsButtons::plainButtonReportsFalseOnEveryClick()
{
    QWidget* window = makeWindow();
    auto* button = new TButton;
    button->setFixedSize(80, 30);
    window->layout()->addWidget(button);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(button->objectName(), QStringLiteral("TButton"));
    QSignalSpy clicked(button, &TButton::clicked);
    click(button);
    click(button);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(0).at(0).toBool(), false);
    QCOMPARE(clicked.at(1).at(0).toBool(), false);
    QVERIFY(!button->isChecked());
    QVERIFY(button->hasFocus());

    // Only the left button clicks.
    click(button, Qt::RightButton);
    QCOMPARE(clicked.count(), 2);
}

void TestControlsButtons::checkableButtonInvertsBeforeReporting()
{
    QWidget* window = makeWindow();
    auto* button = new TButton;
    button->setFixedSize(80, 30);
    button->setCheckable(true);
    window->layout()->addWidget(button);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QSignalSpy clicked(button, &TButton::clicked);
    click(button);
    QVERIFY(button->isChecked());
    click(button);
    QVERIFY(!button->isChecked());
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(0).at(0).toBool(), true);
    QCOMPARE(clicked.at(1).at(0).toBool(), false);

    // toggle on a plain button only ever clears.
    TButton plain;
    plain.toggle();
    QVERIFY(!plain.isChecked());
}

void TestControlsButtons::releaseAnywhereAfterPressClicks()
{
    QWidget* window = makeWindow();
    auto* button = new TButton;
    button->setFixedSize(80, 30);
    window->layout()->addWidget(button);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QSignalSpy clicked(button, &TButton::clicked);
    press(button);
    release(window, QPoint(2, 2));
    QCOMPARE(clicked.count(), 1);

    // A release without a press on the button is nothing.
    release(window, button->geometry().center());
    QCOMPARE(clicked.count(), 1);
}

void TestControlsButtons::setCheckedOnlyChangesCheckableButtons()
{
    TButton button;
    QSignalSpy clicked(&button, &TButton::clicked);
    button.setChecked(true);
    QVERIFY(!button.isChecked());
    button.setCheckable(true);
    QVERIFY(button.isCheckable());
    button.setChecked(true);
    QVERIFY(button.isChecked());
    button.setChecked(false);
    QVERIFY(!button.isChecked());
    QCOMPARE(clicked.count(), 0);
    QVERIFY(!button.property("status").isValid());
}

void TestControlsButtons::pushButtonParts()
{
    // The look state reaches both labels, which the style sheet templates select on.
    TPushButton button;
    auto* icon = button.findChild<QLabel*>(QStringLiteral("buttonIcon"));
    auto* text = button.findChild<QLabel*>(QStringLiteral("buttonText"));
    QVERIFY(icon && text);
    button.setStatus(QStringLiteral("hover"));
    for (QWidget* w :
         {static_cast<QWidget*>(&button), static_cast<QWidget*>(icon), static_cast<QWidget*>(text)})
        QCOMPARE(w->property("status").toString(), QStringLiteral("hover"));
}

void TestControlsButtons::hoverLookFollowsStatusAndStyleSheet()
{
    QWidget* window = makeWindow();
    auto* button = new TPushButton;
    QString sheet = QSkin::styleSheet(QStringLiteral(":/qss/TPushButton.css"));
    for (const QString& arg :
         {QStringLiteral("14"), QStringLiteral("#FEFEFE"), QStringLiteral("#00A1FF"),
          QStringLiteral("#808080"), QStringLiteral(":/image/label.record.png"),
          QStringLiteral(":/image/label.record.png"), QStringLiteral(":/image/label.record.png")})
        sheet = sheet.arg(arg);
    button->setStyleSheet(sheet);
    button->setText(QStringLiteral("设置"));
    window->layout()->addWidget(button);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* text = button->findChild<QLabel*>(QStringLiteral("buttonText"));
    QCOMPARE(textColour(text), QColor(QStringLiteral("#FEFEFE")));

    hover(button);
    QCOMPARE(button->property("status").toString(), QStringLiteral("hover"));
    QCOMPARE(textColour(text), QColor(QStringLiteral("#00A1FF")));

    hoverAt(QPoint(1900, 1000));
    QCOMPARE(button->property("status").toString(), QStringLiteral("normal"));
    QCOMPARE(textColour(text), QColor(QStringLiteral("#FEFEFE")));

    // A disabled button keeps its look under the pointer.
    button->setEnabled(false);
    hover(button);
    QCOMPARE(button->property("status").toString(), QStringLiteral("normal"));
}

void TestControlsButtons::checkedPushButtonKeepsHoverLook()
{
    QWidget* window = makeWindow();
    auto* button = new TPushButton;
    button->setCheckable(true);
    window->layout()->addWidget(button);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    hover(button);
    click(button);
    QVERIFY(button->isChecked());
    hoverAt(QPoint(1900, 1000));
    QCOMPARE(button->property("status").toString(), QStringLiteral("hover"));

    // Unchecked again, leaving restores the normal look.
    hover(button);
    click(button);
    QVERIFY(!button->isChecked());
    hoverAt(QPoint(1900, 1000));
    QCOMPARE(button->property("status").toString(), QStringLiteral("normal"));
}

void TestControlsButtons::firstEntryIsShownBeforeAnySelection()
{
    HComboBox box;
    auto* text = box.findChild<QLabel*>(QStringLiteral("comboText"));
    QVERIFY(text);

    box.addItems({QStringLiteral("黑色"), QStringLiteral("白色")});
    box.addItem(QStringLiteral("红色"));
    QCOMPARE(box.count(), 3);
    QCOMPARE(text->text(), QStringLiteral("黑色"));
    for (QWidget* item : box.menu()->items())
        QVERIFY(!static_cast<HMenuItem*>(item)->isSelected());
}

void TestControlsButtons::setCurrentIndexAndTextIgnoreUnknownChoices()
{
    HComboBox box;
    box.addItems({QStringLiteral("左上角"), QStringLiteral("右上角"), QStringLiteral("左下角")});
    QSignalSpy byIndex(&box, &HComboBox::currentIndexChanged);
    QSignalSpy byText(&box, &HComboBox::currentTextChanged);
    const QList<QWidget*> items = box.menu()->items();

    box.setCurrentIndex(2);
    QCOMPARE(box.currentText(), QStringLiteral("左下角"));
    QVERIFY(static_cast<HMenuItem*>(items[2])->isSelected());

    box.setCurrentIndex(-1);
    box.setCurrentIndex(3);
    QCOMPARE(box.currentText(), QStringLiteral("左下角"));
    QVERIFY(static_cast<HMenuItem*>(items[2])->isSelected());

    box.setCurrentText(QStringLiteral("右下角"));
    QCOMPARE(box.currentText(), QStringLiteral("左下角"));

    box.setCurrentText(QStringLiteral("右上角"));
    QCOMPARE(box.currentText(), QStringLiteral("右上角"));
    QVERIFY(static_cast<HMenuItem*>(items[1])->isSelected());
    QVERIFY(!static_cast<HMenuItem*>(items[2])->isSelected());
    QCOMPARE(byIndex.count(), 0);
    QCOMPARE(byText.count(), 0);

    // A repeated text maps to its latest entry.
    HComboBox twice;
    twice.addItems({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A")});
    twice.setCurrentText(QStringLiteral("A"));
    QVERIFY(static_cast<HMenuItem*>(twice.menu()->items()[2])->isSelected());
    QVERIFY(!static_cast<HMenuItem*>(twice.menu()->items()[0])->isSelected());
}

void TestControlsButtons::listOpensBelowBoxAndArrowFollows()
{
    QWidget* window = makeWindow();
    auto* box = new HComboBox;
    box->setFixedWidth(106);
    box->addItems({QStringLiteral("Alt"), QStringLiteral("Ctrl"), QStringLiteral("Shift")});
    window->layout()->addWidget(box);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* arrow = box->findChild<QLabel*>(QStringLiteral("comboIcon"));

    click(box);
    HMenu* list = box->menu();
    QVERIFY(list->isVisible());
    QCOMPARE(list->pos(), box->mapToGlobal(QPoint(0, box->height())));
    QCOMPARE(list->width(), box->width());
    QCOMPARE(arrow->property("status").toString(), QStringLiteral("up"));
    QVERIFY(box->hasFocus() || QApplication::activeWindow() == list);

    list->hideMenu();
    QCOMPARE(arrow->property("status").toString(), QStringLiteral("down"));
}

void TestControlsButtons::unconnectedBoxNeverChangesItsText()
{
    QWidget* window = makeWindow();
    auto* box = new HComboBox;
    box->addItems({QStringLiteral("F1"), QStringLiteral("F2")});
    window->layout()->addWidget(box);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    click(box);
    auto* f2 = static_cast<HMenuItem*>(box->menu()->items()[1]);
    QVERIFY(QTest::qWaitForWindowExposed(box->menu()));
    click(f2);
    QVERIFY(!box->menu()->isVisible());
    QCOMPARE(box->currentText(), QStringLiteral("F1"));
    QVERIFY(!f2->isSelected());
}

void TestControlsButtons::listenerDecidesWhetherChoiceIsTaken()
{
    QWidget* window = makeWindow();
    auto* box = new HComboBox;
    box->addItems({QStringLiteral("Alt"), QStringLiteral("Ctrl"), QStringLiteral("Shift")});
    box->setCurrentIndex(0);
    window->layout()->addWidget(box);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // The index listener refuses; the text listener is asked next and refuses too.
    QList<int> indexes;
    QStringList texts;
    bool indexAnswer = false;
    bool textAnswer = false;
    connect(box, &HComboBox::currentIndexChanged, this, [&](int index) {
        indexes << index;
        return indexAnswer;
    });
    connect(box, &HComboBox::currentTextChanged, this, [&](const QString& text) {
        texts << text;
        return textAnswer;
    });
    const QList<QWidget*> items = box->menu()->items();
    auto pick = [&](int index) {
        click(box);
        QVERIFY(QTest::qWaitForWindowExposed(box->menu()));
        click(items[index]);
    };

    pick(2);
    QCOMPARE(indexes, QList<int>({2}));
    QCOMPARE(texts, QStringList({QStringLiteral("Shift")}));
    QCOMPARE(box->currentText(), QStringLiteral("Alt"));
    QVERIFY(static_cast<HMenuItem*>(items[0])->isSelected());
    QVERIFY(!static_cast<HMenuItem*>(items[2])->isSelected());

    // Accepted through the text listener.
    textAnswer = true;
    pick(1);
    QCOMPARE(box->currentText(), QStringLiteral("Ctrl"));
    QVERIFY(static_cast<HMenuItem*>(items[1])->isSelected());
    QVERIFY(!static_cast<HMenuItem*>(items[0])->isSelected());

    // Accepted by the index listener: the text listener is not asked.
    indexAnswer = true;
    textAnswer = false;
    texts.clear();
    pick(2);
    QCOMPARE(box->currentText(), QStringLiteral("Shift"));
    QVERIFY(texts.isEmpty());
    QVERIFY(static_cast<HMenuItem*>(items[2])->isSelected());
}

QTEST_MAIN(TestControlsButtons)
#include "tst_controls_buttons.moc"
