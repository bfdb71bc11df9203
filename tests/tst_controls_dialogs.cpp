// Base dialog, message box and shadow: keys, dragging by a label, the message box's masks and
// results, centring on the parent and a parent that goes away.
#include "HMessageBox.h"
#include "QBaseDialog.h"
#include "QCustomShadowEffect.h"
#include "QSkin.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Runs `action` on the modal dialog once it is up, from inside its event loop.
void whenModal(std::function<void(QDialog*)> action)
{
    QTimer::singleShot(0, [action] {
        QDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        action(dialog);
    });
}

void click(QWidget* widget)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(window, widget->rect().center()));
}

QPushButton* button(QDialog* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
}

// A dialog with a form: a label to drag by and a button that takes the mouse itself.
class FormDialog : public QBaseDialog
{
public:
    explicit FormDialog(QWidget* parent = nullptr) : QBaseDialog(parent)
    {
        resize(300, 160);
        auto* layout = new QHBoxLayout(this);
        label = new QLabel(QStringLiteral("拖动我"), this);
        label->setMinimumSize(100, 60);
        layout->addWidget(label);
        button = new QPushButton(QStringLiteral("确定"), this);
        layout->addWidget(button);
        initDialog(QStringLiteral(":/qss/MessageBox.css"));
    }
    QLabel* label;
    QPushButton* button;
};

} // namespace

class TestControlsDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void setUpMakesFramelessShadowedSkinnedDialog();
    void escapeRejectsOnceAndEnterAccepts();
    void draggingByLabelMovesDialog();
    void pressOnControlDoesNotDrag();
    void execForegroundRunsModally();

    void noticeShowsOnlyHighlightedConfirm();
    void questionResults_data();
    void questionResults();
    void boxStaysCentredOnParent();
    void boxWhoseParentIsGoneDoesNotMove();
    void parentDestroyedWhileBoxRunsGivesZero();

    void shadowBoundingRectAndDrawing();
    void shadowOfChildWidgetStaysWithTheWidget();
};

void TestControlsDialogs::initTestCase()
{
    QSkin::init();
}

void TestControlsDialogs::setUpMakesFramelessShadowedSkinnedDialog()
{
    FormDialog dialog;
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.styleSheet().contains(QStringLiteral("QLabel#labelMsg")));
    QVERIFY(qobject_cast<QCustomShadowEffect*>(dialog.graphicsEffect()));

    // An unreadable style sheet gives none.
    dialog.loadStyleSheet(QStringLiteral(":/qss/missing.css"));
    QVERIFY(dialog.styleSheet().isEmpty());
}

void TestControlsDialogs::escapeRejectsOnceAndEnterAccepts()
{
    {
        FormDialog dialog;
        dialog.button->setAutoDefault(false);
        dialog.button->setFocusPolicy(Qt::NoFocus);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        whenModal([](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(rejected.count(), 1);
    }
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        FormDialog dialog;
        dialog.button->setFocusPolicy(Qt::NoFocus);
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        whenModal([key](QDialog* d) { QTest::keyClick(d, key); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(accepted.count(), 1);
    }
}

void TestControlsDialogs::draggingByLabelMovesDialog()
{
    FormDialog dialog;
    dialog.move(300, 200);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWindow* window = dialog.windowHandle();
    const QPoint start = dialog.label->mapTo(&dialog, dialog.label->rect().center());
    const QPoint before = dialog.pos();

    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(window, start + QPoint(40, 25));
    QCOMPARE(dialog.pos(), before + QPoint(40, 25));

    // Pressing any other button ends the drag, even while the left one is still down.
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, start);
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, start);
    const QPoint afterRelease = dialog.pos();
    QTest::mouseMove(window, start + QPoint(10, 10));
    QCOMPARE(dialog.pos(), afterRelease);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start);

    // Moving without a button pressed does not drag.
    QTest::mouseMove(window, start + QPoint(30, 0));
    QCOMPARE(dialog.pos(), afterRelease);
}

void TestControlsDialogs::pressOnControlDoesNotDrag()
{
    FormDialog dialog;
    dialog.move(300, 200);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWindow* window = dialog.windowHandle();
    const QPoint start = dialog.button->mapTo(&dialog, dialog.button->rect().center());
    const QPoint before = dialog.pos();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(window, start + QPoint(30, 30));
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start + QPoint(30, 30));
    QCOMPARE(dialog.pos(), before);
}

void TestControlsDialogs::execForegroundRunsModally()
{
    FormDialog dialog;
    bool wasActive = false;
    whenModal([&wasActive](QDialog* d) {
        QTRY_VERIFY(d->isActiveWindow());
        wasActive = true;
        static_cast<QBaseDialog*>(d)->onOK();
    });
    QCOMPARE(dialog.execForeground(), int(QDialog::Accepted));
    QVERIFY(wasActive);

    whenModal([](QDialog* d) { static_cast<QBaseDialog*>(d)->onClose(); });
    QCOMPARE(dialog.execForeground(), int(QDialog::Rejected));
}

void TestControlsDialogs::noticeShowsOnlyHighlightedConfirm()
{
    QWidget parent;
    parent.setGeometry(100, 100, 778, 444);
    parent.show();
    QString confirmClass;
    bool cancelVisible = true;
    QString title;
    QString text;
    whenModal([&](QDialog* d) {
        confirmClass = button(d, "btnConfirm")->property("class").toString();
        cancelVisible = button(d, "btnCancel")->isVisible();
        title = d->findChild<QLabel*>(QStringLiteral("labelTitle"))->text();
        text = d->findChild<QLabel*>(QStringLiteral("labelMsg"))->text();
        QVERIFY(button(d, "btnConfirm")->isVisible());
        click(button(d, "btnConfirm"));
    });
    const int result = HMessageBox::message(&parent, QStringLiteral("录制过程中，不能更改选项！"),
                                            QStringLiteral("提示"), 1);
    QCOMPARE(result, 1);
    QCOMPARE(confirmClass, QStringLiteral("btn_highlight"));
    QVERIFY(!cancelVisible);
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(text, QStringLiteral("录制过程中，不能更改选项！"));
}

void TestControlsDialogs::questionResults_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("confirm") << QStringLiteral("confirm") << 1;
    QTest::newRow("cancel") << QStringLiteral("cancel") << 0;
    QTest::newRow("close button") << QStringLiteral("close") << 0;
    QTest::newRow("Esc") << QStringLiteral("esc") << 0;
    QTest::newRow("Enter") << QStringLiteral("enter") << 1;
}

void TestControlsDialogs::questionResults()
{
    QFETCH(QString, action);
    QFETCH(int, expected);
    QWidget parent;
    parent.setGeometry(100, 100, 778, 444);
    parent.show();
    QString confirmClass;
    QString cancelClass;
    int cancelled = 0;
    int confirmed = 0;
    whenModal([&](QDialog* d) {
        auto* box = qobject_cast<HMessageBox*>(d);
        QVERIFY(box);
        connect(box, &HMessageBox::clicked_1, [&cancelled] { ++cancelled; });
        connect(box, &HMessageBox::clicked_2, [&confirmed] { ++confirmed; });
        QVERIFY(button(d, "btnConfirm")->isVisible());
        QVERIFY(button(d, "btnCancel")->isVisible());
        confirmClass = button(d, "btnConfirm")->property("class").toString();
        cancelClass = button(d, "btnCancel")->property("class").toString();
        if (action == QLatin1String("confirm"))
            click(button(d, "btnConfirm"));
        else if (action == QLatin1String("cancel"))
            click(button(d, "btnCancel"));
        else if (action == QLatin1String("close"))
            click(button(d, "btnClose"));
        else if (action == QLatin1String("esc"))
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(HMessageBox::message(&parent, QStringLiteral("确定要退出程序吗？"), QStringLiteral("提示"), 3),
             expected);
    QCOMPARE(confirmClass, QStringLiteral("btn_normal"));
    QCOMPARE(cancelClass, QStringLiteral("btn_highlight"));
    QCOMPARE(cancelled, action == QLatin1String("cancel") ? 1 : 0);
    // Enter reaches the focused "确定", which confirms as a click does.
    QCOMPARE(confirmed, expected);
}

void TestControlsDialogs::boxStaysCentredOnParent()
{
    QWidget parent;
    parent.setGeometry(100, 100, 778, 444);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    HMessageBox box(&parent);
    box.setText(QStringLiteral("当前软件不具有该文件夹的写入权限，请选择其它文件夹！"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(386, 196));
    QCOMPARE(box.pos(), parent.mapToGlobal(QPoint((778 - 386) / 2, (444 - 196) / 2)));

    box.resize(401, 251);
    QCOMPARE(box.pos(), parent.mapToGlobal(QPoint((778 - 401) / 2, (444 - 251) / 2)));
}

void TestControlsDialogs::boxWhoseParentIsGoneDoesNotMove()
{
    auto* parent = new QWidget;
    parent->setGeometry(100, 100, 778, 444);
    HMessageBox box(parent);
    // The box outlives the widget it was made for.
    box.setParent(nullptr, box.windowFlags());
    delete parent;
    box.move(20, 30);
    box.resize(500, 300);
    QCOMPARE(box.pos(), QPoint(20, 30));
}

void TestControlsDialogs::parentDestroyedWhileBoxRunsGivesZero()
{
    QPointer<QWidget> parent = new QWidget;
    parent->setGeometry(100, 100, 778, 444);
    parent->show();
    whenModal([parent](QDialog*) { delete parent.data(); });
    QCOMPARE(HMessageBox::message(parent, QStringLiteral("确定要退出程序吗？"), QStringLiteral("提示"), 3),
             0);
    QVERIFY(parent.isNull());
}

void TestControlsDialogs::shadowBoundingRectAndDrawing()
{
    QCustomShadowEffect effect;
    effect.setBlurRadius(8);
    effect.setDistance(2);
    QCOMPARE(effect.boundingRectFor(QRectF(10, 10, 100, 50)), QRectF(0, 0, 120, 70));

    // A frame on a white ground: the shadow darkens the ground around it, fading outwards.
    QWidget window;
    window.setObjectName(QStringLiteral("ground"));
    window.setStyleSheet(QStringLiteral("QWidget#ground{background:#FFFFFF;}"));
    window.resize(160, 120);
    auto* frame = new QFrame(&window);
    frame->setStyleSheet(QStringLiteral("background:#393B40;"));
    frame->setGeometry(40, 40, 80, 40);
    auto* shadow = new QCustomShadowEffect;
    shadow->setBlurRadius(8);
    shadow->setDistance(1);
    shadow->setColor(QColor(0, 0, 0, 200));
    frame->setGraphicsEffect(shadow);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QImage image = window.grab().toImage();
    QCOMPARE(image.pixelColor(80, 60), QColor(QStringLiteral("#393B40")));
    const int near = image.pixelColor(80, 38).lightness();
    const int farther = image.pixelColor(80, 33).lightness();
    QVERIFY2(near < farther && farther < 255, qPrintable(QStringLiteral("%1 %2").arg(near).arg(farther)));
    QCOMPARE(image.pixelColor(5, 5), QColor(Qt::white));

    // Nothing to spread: the source is drawn unchanged.
    shadow->setBlurRadius(0);
    shadow->setDistance(0);
    image = window.grab().toImage();
    QCOMPARE(image.pixelColor(80, 38), QColor(Qt::white));
    QCOMPARE(image.pixelColor(80, 60), QColor(QStringLiteral("#393B40")));
}

void TestControlsDialogs::shadowOfChildWidgetStaysWithTheWidget()
{
    // A panel inside a window (as the progress panel is) must be drawn where it is, not at the
    // window's corner.
    QWidget window;
    window.resize(300, 200);
    window.setStyleSheet(QStringLiteral("QWidget#window{background:#17191E;}"));
    window.setObjectName(QStringLiteral("window"));
    auto* panel = new QFrame(&window);
    panel->setStyleSheet(QStringLiteral("background:#FFFFFF;"));
    panel->setGeometry(150, 100, 60, 40);
    auto* shadow = new QCustomShadowEffect;
    shadow->setBlurRadius(8);
    shadow->setDistance(4);
    shadow->setColor(QColor(0, 0, 0, 32));
    panel->setGraphicsEffect(shadow);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grab().toImage();
    QCOMPARE(image.pixelColor(180, 120), QColor(Qt::white));
    QCOMPARE(image.pixelColor(20, 20), QColor(QStringLiteral("#17191E")));
}

QTEST_MAIN(TestControlsDialogs)
#include "tst_controls_dialogs.moc"
