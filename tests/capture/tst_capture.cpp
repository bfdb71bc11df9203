// The selection overlays on a real X server: windows of this test at known places, the pointer
// and buttons driven by xdotool, results read from the signal and from the screen's pixels.
// All places are given in widget coordinates of the last screen and converted to screen pixels,
// so the same cases hold on one monitor, on the second of two, and at a device pixel ratio of 2.

#include "PlatformWindow.h"
#include "QCaptureWidget.h"
#include "QScreenBar.h"
#include "QScreenShot.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// A desktop of plain X windows, made on a connection of the test's own.
class Desk
{
public:
    Desk()
    {
        c = xcb_connect(nullptr, nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    }
    ~Desk() { xcb_disconnect(c); }

    // Unmanaged unless asked: a window manager leaves such a window where it was put.
    xcb_window_t create(xcb_window_t parent, const QRect& r, QRgb colour, bool managed = false)
    {
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t values[] = {colour & 0xffffffu, managed ? 0u : 1u};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, static_cast<int16_t>(r.x()),
                          static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                          static_cast<uint16_t>(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, w);
        return w;
    }

    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* a = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        const xcb_atom_t result = a ? a->atom : 0;
        std::free(a);
        return result;
    }

    bool hasWindowManager()
    {
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
            nullptr);
        const bool found = p && xcb_get_property_value_length(p) == 4;
        std::free(p);
        return found;
    }

    xcb_window_t parentOf(xcb_window_t w)
    {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
        const xcb_window_t parent = t ? t->parent : 0;
        std::free(t);
        return parent;
    }

    QRect rootGeometry(xcb_window_t w)
    {
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        xcb_translate_coordinates_reply_t* t =
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, w, root, 0, 0), nullptr);
        const QRect r = g && t ? QRect(t->dst_x, t->dst_y, g->width, g->height) : QRect();
        std::free(g);
        std::free(t);
        return r;
    }

    // What a window manager puts on the application's window inside its frame.
    void markClient(xcb_window_t w)
    {
        const xcb_atom_t wmState = atom("WM_STATE");
        const uint32_t state[] = {1, 0};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, wmState, wmState, 32, 2, state);
    }

    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    QImage grab(const QRect& r)
    {
        xcb_get_image_reply_t* reply =
            xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<int16_t>(r.x()),
                                              static_cast<int16_t>(r.y()), static_cast<uint16_t>(r.width()),
                                              static_cast<uint16_t>(r.height()), ~0u),
                                nullptr);
        if (!reply)
            return QImage();
        const QImage image =
            QImage(xcb_get_image_data(reply), r.width(), r.height(), QImage::Format_RGB32).copy();
        std::free(reply);
        return image;
    }

    QRgb pixel(const QPoint& p) { return grab(QRect(p, QSize(1, 1))).pixel(0, 0); }

    xcb_connection_t* c;
    xcb_window_t root;
};

bool isRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

    Desk m_desk;
    QScreen* m_screen = nullptr;
    QPoint m_origin;
    qreal m_ratio = 1;
    QSize m_size; // in widget coordinates
    xcb_window_t m_parent = 0;
    std::vector<xcb_window_t> m_backdrop;

    QPoint native(const QPoint& p) const { return m_origin + p * m_ratio; }
    QRect native(const QRect& r) const { return QRect(native(r.topLeft()), r.size() * m_ratio); }
    // The reported rectangle of a selection that lies inside its screen: 1 px narrower and lower.
    QRect reported(const QRect& r) const { return native(r).adjusted(0, 0, -1, -1); }
    QPoint emptyPoint() const { return QPoint(m_size.width() - 50, 50); }

    void xdo(const QStringList& args)
    {
        QCOMPARE(QProcess::execute("xdotool", args), 0);
        QTest::qWait(80);
    }
    void moveTo(const QPoint& p)
    {
        const QPoint n = native(p);
        xdo({"mousemove", QString::number(n.x()), QString::number(n.y())});
    }
    void drag(const QPoint& from, const QPoint& to)
    {
        moveTo(from);
        xdo({"mousedown", "1"});
        moveTo(to);
        xdo({"mouseup", "1"});
    }
    void doubleClick(const QPoint& p)
    {
        moveTo(p);
        xdo({"click", "--repeat", "2", "--delay", "40", "1"});
        QTest::qWait(150);
    }

    static QList<QScreenShot*> visibleOverlays()
    {
        QList<QScreenShot*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* shot = qobject_cast<QScreenShot*>(w))
                if (shot->isVisible())
                    found << shot;
        return found;
    }
    QScreenShot* overlayOn(QScreen* screen) const
    {
        for (QScreenShot* shot : visibleOverlays())
            if (shot->geometry() == screen->geometry())
                return shot;
        return nullptr;
    }

    void open(QCaptureWidget& capture)
    {
        capture.showScreens();
        QTest::qWait(300);
        QCOMPARE(visibleOverlays().size(), QGuiApplication::screens().size());
    }

    void shot(const QString& name)
    {
        const QString dir = qEnvironmentVariable("REELCAST_CAPTURE_SHOTS");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QRect all;
        for (QScreen* s : QGuiApplication::screens())
            all |= QRect(s->geometry().topLeft(), s->geometry().size() * s->devicePixelRatio());
        m_desk.grab(all).save(QString("%1/%2-x%3.png").arg(dir, name).arg(m_ratio));
    }

private slots:
    void initTestCase()
    {
        m_screen = QGuiApplication::screens().last();
        m_origin = m_screen->geometry().topLeft();
        m_ratio = m_screen->devicePixelRatio();
        m_size = m_screen->geometry().size();
        // A grey backdrop with a bare corner at the top right, where no window is found.
        const QRgb grey = 0xc8c8c8;
        m_backdrop = {
            m_desk.create(m_desk.root, native(QRect(0, 0, m_size.width() - 100, m_size.height())), grey),
            m_desk.create(m_desk.root, native(QRect(m_size.width() - 100, 100, 100, m_size.height() - 100)),
                          grey)};
        // A window with a child control.
        m_parent = m_desk.create(m_desk.root, native(QRect(40, 40, 150, 100)), 0x3050c0);
        m_desk.create(m_parent, QRect(QPoint(50, 35) * m_ratio, QSize(50, 30) * m_ratio), 0x30c050);
        // A window inside a window manager's frame.
        const xcb_window_t frame = m_desk.create(m_desk.root, native(QRect(250, 40, 160, 120)), 0x606060);
        m_desk.markClient(
            m_desk.create(frame, QRect(QPoint(5, 15) * m_ratio, QSize(150, 100) * m_ratio), 0xe0d040));
        m_desk.sync();
        QTest::qWait(200);
    }

    void windowUnderPointer_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("child control at its centre") << QPoint(115, 90) << QRect(90, 75, 50, 30);
        QTest::newRow("parent beside the child") << QPoint(60, 60) << QRect(40, 40, 150, 100);
        QTest::newRow("client, pointer on the frame") << QPoint(300, 45) << QRect(255, 55, 150, 100);
        QTest::newRow("client, pointer inside") << QPoint(330, 105) << QRect(255, 55, 150, 100);
        QTest::newRow("bare desktop") << emptyPoint() << QRect();
    }
    void windowUnderPointer()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QRect, expected);
        moveTo(pointer);
        platform::WindowRect r;
        const bool found = platform::windowRectUnderCursor(r);
        QCOMPARE(found, !expected.isEmpty());
        if (found)
            QCOMPARE(QRect(r.x, r.y, r.width, r.height), native(expected));
    }

    // An overlay disabled for the search lets the window beneath it be found.
    void disabledWindowIsPassedOver()
    {
        const xcb_window_t cover = m_desk.create(m_desk.root, native(QRect(30, 30, 60, 60)), 0x000000);
        m_desk.sync();
        moveTo(QPoint(60, 60));
        platform::WindowRect r;
        QVERIFY(platform::windowRectUnderCursor(r));
        QCOMPARE(QRect(r.x, r.y, r.width, r.height), native(QRect(30, 30, 60, 60)));
        platform::enableWindow(cover, false);
        QVERIFY(platform::windowRectUnderCursor(r));
        QCOMPARE(QRect(r.x, r.y, r.width, r.height), native(QRect(40, 40, 150, 100)));
        platform::enableWindow(cover, true);
        xcb_destroy_window(m_desk.c, cover);
        m_desk.sync();
    }

    // The frozen picture is the screen's own, pixel for pixel, dimmed: edges stay where they were.
    void frozenPictureIsSharp()
    {
        QCaptureWidget capture;
        moveTo(emptyPoint());
        const QPoint edge = native(QPoint(90, 90));
        const QRgb child = m_desk.pixel(edge);
        const QRgb parent = m_desk.pixel(edge - QPoint(1, 0));
        open(capture);
        auto dimmed = [](QRgb c) {
            return qRgb(qRed(c) * 95 / 255, qGreen(c) * 95 / 255, qBlue(c) * 95 / 255);
        };
        auto near = [](QRgb a, QRgb b) {
            return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 &&
                   std::abs(qBlue(a) - qBlue(b)) <= 3;
        };
        QVERIFY(near(m_desk.pixel(edge), dimmed(child)));
        QVERIFY(near(m_desk.pixel(edge - QPoint(1, 0)), dimmed(parent)));
        capture.closeScreens();
        QTest::qWait(150);
        QVERIFY(visibleOverlays().isEmpty());
    }

    void selection_data()
    {
        QTest::addColumn<int>("gesture");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<bool>("framed");
        const int w = m_size.width(), h = m_size.height();
        const QSize screenPixels = m_size * m_ratio;
        QTest::newRow("dragged rectangle") << 0 << reported(QRect(60, 200, 200, 120)) << true;
        QTest::newRow("dragged from bottom right to top left")
            << 1 << reported(QRect(60, 200, 200, 120)) << true;
        QTest::newRow("double click on a child control") << 2 << reported(QRect(90, 75, 50, 30)) << true;
        QTest::newRow("double click on a framed window's title")
            << 3 << reported(QRect(255, 55, 150, 100)) << true;
        QTest::newRow("drag under 2 px is a click") << 4 << reported(QRect(90, 75, 50, 30)) << true;
        QTest::newRow("click on the bare desktop takes the screen")
            << 5 << QRect(m_origin, screenPixels - QSize(1, 1)) << false;
        QTest::newRow("left edge dragged past the right slides at 20 px")
            << 6 << reported(QRect(451, 180, 20, 120)) << true;
        QTest::newRow("moved partly off the screen is clipped")
            << 7 << QRect(native(QPoint(w - 51, h - 41)), QSize(51, 41) * m_ratio - QSize(1, 1)) << false;
    }
    void selection()
    {
        QFETCH(int, gesture);
        QFETCH(QRect, expected);
        QFETCH(bool, framed);
        const int w = m_size.width(), h = m_size.height();

        QCaptureWidget capture;
        QSignalSpy spy(&capture, &QCaptureWidget::selected);
        moveTo(emptyPoint());
        const QRgb centre = m_desk.pixel(expected.center());
        open(capture);
        switch (gesture) {
        case 0:
            drag({60, 200}, {260, 320});
            break;
        case 1:
            drag({260, 320}, {60, 200});
            break;
        case 2:
            moveTo({115, 90});
            shot("hovered-child");
            break;
        case 3:
            moveTo({300, 45});
            break;
        case 4:
            moveTo({115, 90});
            drag({115, 90}, {116, 91});
            break;
        case 5:
            moveTo(emptyPoint());
            break;
        case 6:
            drag({300, 180}, {400, 300});
            drag({299, 240}, {450, 240});
            break;
        case 7:
            drag({w - 150, h - 100}, {w - 50, h - 20});
            drag({w - 100, h - 60}, {w - 1, h - 1});
            break;
        }
        QVERIFY(spy.isEmpty());
        doubleClick(gesture == 2 ? QPoint(115, 90) : gesture == 3 ? QPoint(300, 45) : emptyPoint());
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toRect(), expected);
        QVERIFY(visibleOverlays().isEmpty());
        QVERIFY(capture.isVisible() == true);

        if (framed) {
            // The red frame's inner edge touches the area; nothing red inside it or further out.
            const QRect area = expected.adjusted(0, 0, 1, 1);
            const int band = static_cast<int>(2 * m_ratio);
            const int midY = area.center().y(), midX = area.center().x();
            QTest::qWait(150);
            shot(QString("frame-%1").arg(gesture));
            // See-through also without a compositing manager.
            QCOMPARE(m_desk.pixel(expected.center()), centre);
            for (const QPoint& p : {QPoint(area.left() - 1, midY), QPoint(area.left() - band, midY),
                                    QPoint(area.right() + 1, midY), QPoint(area.right() + band, midY),
                                    QPoint(midX, area.top() - 1), QPoint(midX, area.bottom() + band)})
                QVERIFY2(isRed(m_desk.pixel(p)), qPrintable(QString("%1,%2").arg(p.x()).arg(p.y())));
            for (const QPoint& p : {QPoint(area.left(), midY), QPoint(area.left() - band - 1, midY),
                                    QPoint(area.right(), midY), QPoint(area.right() + band + 1, midY),
                                    QPoint(midX, area.top()), QPoint(midX, area.bottom())})
                QVERIFY2(!isRed(m_desk.pixel(p)), qPrintable(QString("%1,%2").arg(p.x()).arg(p.y())));
        }

        // While the frame stands, a new selection cannot begin.
        capture.showScreens();
        QTest::qWait(200);
        QVERIFY(visibleOverlays().isEmpty());
        capture.closeScreens();
        QTest::qWait(100);
        QVERIFY(!capture.isVisible());
    }

    // The label box scales with the screen's pixel height; it sits on top of the frame, or inside
    // the selection when there is no room above.
    void sizeLabel_data()
    {
        QTest::addColumn<QRect>("selection");
        QTest::addColumn<bool>("above");
        QTest::newRow("room above the frame") << QRect(60, 200, 200, 120) << true;
        QTest::newRow("frame at the top of the screen") << QRect(60, 10, 300, 90) << false;
    }
    void sizeLabel()
    {
        QFETCH(QRect, selection);
        QFETCH(bool, above);
        const QMap<int, QSize> boxes{{1080, {200, 24}}, {720, {133, 16}}, {1440, {266, 32}}};
        const QSize box = boxes.value(qRound(m_size.height() * m_ratio));
        QVERIFY(box.isValid());

        QCaptureWidget capture;
        moveTo(emptyPoint());
        open(capture);
        drag(selection.topLeft(), selection.bottomRight() + QPoint(1, 1));
        QTest::qWait(150);
        shot(QString("selection-%1").arg(above ? "label-above" : "label-inside"));
        const QRect frame = selection.adjusted(-1, -1, 1, 1);
        const QRect label(frame.x() + 1, above ? frame.y() - box.height() - 1 : frame.y() + 1, box.width(),
                          box.height());
        // The box darkens what lies under it: the dimmed backdrop above, the clear picture inside.
        const int under = above ? 75 : 200;
        auto grey = [&](const QPoint& p) { return qGreen(m_desk.pixel(native(p))); };
        QVERIFY(grey(label.topLeft()) < under - 20);
        QVERIFY(grey(label.bottomRight()) < under - 20);
        QVERIFY(qAbs(grey(label.topRight() + QPoint(1, 0)) - under) < 8);
        QVERIFY(qAbs(grey(above ? label.topLeft() - QPoint(0, 1) : label.bottomLeft() + QPoint(0, 1)) -
                     under) < 8);

        // The toolbar: right-aligned with the frame, 2 px below it.
        QScreenShot* overlay = overlayOn(m_screen);
        QVERIFY(overlay);
        auto* bar = overlay->findChild<QScreenBar*>();
        QVERIFY(bar && bar->isVisible());
        QCOMPARE(bar->geometry().topLeft(), QPoint(frame.right() - bar->width(), frame.bottom() + 2));
        capture.closeScreens();
        QTest::qWait(100);
    }

    // A real window manager wraps its windows in frames: the client is offered, from its title
    // bar too, and the overlays, framed or not, are passed over.
    void underWindowManager()
    {
        QElapsedTimer waited;
        waited.start();
        while (!m_desk.hasWindowManager() && waited.elapsed() < 3000)
            QTest::qWait(100);
        if (!m_desk.hasWindowManager())
            QSKIP("needs a window manager (tst_capture_window_manager)");
        // The managed window goes below the unmanaged ones made before it.
        const uint32_t below[] = {XCB_STACK_MODE_BELOW};
        for (xcb_window_t w : m_backdrop)
            xcb_configure_window(m_desk.c, w, XCB_CONFIG_WINDOW_STACK_MODE, below);
        const xcb_window_t client =
            m_desk.create(m_desk.root, native(QRect(100, 120, 200, 150)), 0x8040a0, true);
        m_desk.sync();
        QTRY_VERIFY(m_desk.parentOf(client) != m_desk.root);
        QTest::qWait(300);
        xcb_window_t frame = client;
        while (m_desk.parentOf(frame) != m_desk.root)
            frame = m_desk.parentOf(frame);
        const QRect clientRect = m_desk.rootGeometry(client);
        const QRect frameRect = m_desk.rootGeometry(frame);
        QVERIFY(frameRect.top() < clientRect.top());

        const QPoint title(clientRect.center().x(), (frameRect.top() + clientRect.top()) / 2);
        for (const QPoint& p : {clientRect.center(), title}) {
            xdo({"mousemove", QString::number(p.x()), QString::number(p.y())});
            platform::WindowRect r;
            QVERIFY(platform::windowRectUnderCursor(r));
            QCOMPARE(QRect(r.x, r.y, r.width, r.height), clientRect);
        }

        QCaptureWidget capture;
        QSignalSpy spy(&capture, &QCaptureWidget::selected);
        open(capture);
        xdo({"mousemove", QString::number(clientRect.center().x() + 1),
             QString::number(clientRect.center().y())});
        xdo({"click", "--repeat", "2", "--delay", "40", "1"});
        QTest::qWait(150);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toRect(), clientRect.adjusted(0, 0, -1, -1));
        shot("window-manager-frame");
        capture.closeScreens();
        xcb_destroy_window(m_desk.c, client);
        m_desk.sync();
    }

    // With two screens the one without the selection is locked: it ignores the left button, but
    // its right click cancels everything.
    void lockedScreen()
    {
        if (QGuiApplication::screens().size() < 2)
            QSKIP("needs two screens (scripts/with-two-screens)");
        QScreen* other = QGuiApplication::screens().first();
        const QPoint otherNative =
            other->geometry().topLeft() +
            (other->geometry().center() - other->geometry().topLeft()) * other->devicePixelRatio();
        auto xdoAt = [&](const QStringList& clicks) {
            xdo({"mousemove", QString::number(otherNative.x()), QString::number(otherNative.y())});
            xdo(clicks);
            QTest::qWait(150);
        };

        for (bool cancel : {false, true}) {
            QCaptureWidget capture;
            QSignalSpy spy(&capture, &QCaptureWidget::selected);
            moveTo(emptyPoint());
            open(capture);
            drag({60, 200}, {260, 320});
            xdoAt({"click", "--repeat", "2", "--delay", "40", "1"});
            QVERIFY(spy.isEmpty());
            QScreenShot* locked = overlayOn(other);
            QVERIFY(locked);
            QVERIFY(!locked->findChild<QScreenBar*>()->isVisible());
            shot("locked-screen");
            if (cancel) {
                xdoAt({"click", "3"});
                QVERIFY(spy.isEmpty());
                QVERIFY(visibleOverlays().isEmpty());
                QVERIFY(!capture.isVisible());
            } else {
                doubleClick({160, 260});
                QCOMPARE(spy.size(), 1);
                QCOMPARE(spy.first().first().toRect(), reported(QRect(60, 200, 200, 120)));
            }
            capture.closeScreens();
            QTest::qWait(100);
        }
    }
};

int main(int argc, char** argv)
{
    // A display of its own, unless the caller has provided one.
    if (qEnvironmentVariableIsEmpty("REELCAST_CAPTURE_DISPLAY")) {
        qputenv("REELCAST_CAPTURE_DISPLAY", "own");
        QByteArray script = qgetenv("REELCAST_SOURCE_DIR") + "/scripts/with-desktop";
        std::vector<char*> args{script.data()};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(script.constData(), args.data());
        std::perror("with-desktop");
        return 1;
    }
    QApplication app(argc, argv);
    TestCapture test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_capture.moc"
