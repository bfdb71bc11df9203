#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QSharedPointer>
#include <QWidget>

class QScreenShot;

// Opens one selection overlay per screen and, once an area is accepted, stays on screen as a thin
// red frame just outside the recorded area until it is closed.
class QCaptureWidget : public QWidget
{
    Q_OBJECT
public:
    explicit QCaptureWidget(QWidget* parent = nullptr);

    // Does nothing while a selection or its frame is open.
    void showScreens();
    // Ends the selection and removes the frame.
    void closeScreens();
    // Hides the overlays at once and releases them a little later: it is called from inside their
    // own event handlers.
    void hideScreens();

signals:
    // In global screen pixels.
    void selected(QRect rect);
    void locked(QScreenShot* screen);

public slots:
    void onAccept(QScreenShot* screen);
    void onReject();
    void onLocked(QScreenShot* screen);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Where the screen comes from the desktop's cast: the overlays wait for its first picture.
    void showScreensOfCast();
    void openScreens(const QImage& picture, const QRect& area);

    QList<QSharedPointer<QScreenShot>> m_screens;
    bool m_waitingForCast = false;
    bool m_active = false;
};
