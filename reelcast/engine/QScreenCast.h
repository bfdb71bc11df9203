#pragma once

#include <QImage>
#include <QObject>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>

#include <memory>

namespace platform {
class ScreenCastSession;
}

// The desktop's screen cast for the screen modes where the program cannot read the screen
// itself (a Wayland desktop): one permission per recording, kept across its pauses, with the
// newest remembered permission stored so that the desktop asks once. The answers come as
// signals on the interface thread; remote() and environment() serve the recording runs on the
// worker threads.
class QScreenCast : public QObject
{
    Q_OBJECT
public:
    explicit QScreenCast(QObject* parent = nullptr);
    ~QScreenCast() override;

    // Whether recording in `mode` takes the screen from the desktop's cast.
    static bool needed(int mode);

    // Asks the desktop for the screens of `mode` (every monitor for the whole desktop, one
    // otherwise), with the permission remembered for the monitor at `wanted` where the user has
    // chosen one. Answered by opened(), cancelled() or failed(); nothing while one is open for
    // the same mode already.
    void open(int mode, const QRect& wanted = QRect());
    bool isOpen() const;
    bool isOpenFor(int mode) const;
    // Ends the cast; closed() is not emitted.
    void close();

    // The streams' joint rectangle on the desktop, in logical units; the first stream's for one
    // monitor.
    QRect monitorRect() const;
    // A new descriptor of the cast for one encoder run (the caller closes it), -1 when closed.
    int remote() const;
    // What an encoder run with the descriptor `fd` is given to read the cast.
    QProcessEnvironment environment(int fd) const;
    // The cast's first picture, taken by the encoder without asking the desktop again; answered
    // by snapshot_taken(), with a null image when it could not be taken.
    void takeSnapshot();

signals:
    void opened();
    // The user closed the desktop's dialog: nothing to say.
    void cancelled();
    void failed(QString msg);
    // The desktop ended an open cast (the user stopped sharing).
    void closed();
    void snapshot_taken(QImage picture);

private:
    static QString tokenKey(int mode);
    static QString tokenFor(int mode, const QRect& wanted);
    void keepToken(int mode, const QString& token);

    std::unique_ptr<platform::ScreenCastSession> session_;
    int mode_ = -1;
    bool asking_ = false;
};
