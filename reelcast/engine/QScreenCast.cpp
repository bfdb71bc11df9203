#include "QScreenCast.h"

#include "CSetting.h"
#include "LogCategories.h"
#include "PlatformScreenCast.h"
#include "PlatformSession.h"
#include "QCastProcess.h"
#include "QPath.h"
#include "QProcessCommand.h"
#include "QRecordLog.h"
#include "RecordTypes.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace {

const QString kGroup = QStringLiteral("screencast");
// "x y width height token" of each monitor's newest permission, separated by ";".
const QString kMonitorTokens = QStringLiteral("monitor_tokens");

} // namespace

QScreenCast::QScreenCast(QObject* parent) : QObject(parent), session_(new platform::ScreenCastSession)
{
    session_->setClosedHandler([this] {
        qCInfo(lcScreenCast) << "the desktop ended the cast";
        mode_ = -1;
        emit closed();
    });
}

QScreenCast::~QScreenCast() = default;

bool QScreenCast::needed(int mode)
{
    // The camera mode reads the camera, not the screen.
    return platform::waylandSession() && mode != Camera;
}

QString QScreenCast::tokenKey(int mode)
{
    // A permission for every monitor is another than one for a single monitor.
    return mode == Game ? QStringLiteral("desktop_restore_token") : QStringLiteral("restore_token");
}

QString QScreenCast::tokenFor(int mode, const QRect& wanted)
{
    const QString newest = CSetting::getString(kGroup, tokenKey(mode), QString());
    if (mode == Game || wanted.isEmpty())
        return newest;
    // Each monitor a permission was given for keeps its own, found by where its stream lay.
    const QStringList entries =
        CSetting::getString(kGroup, kMonitorTokens, QString()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& entry : entries) {
        const QStringList f = entry.split(QLatin1Char(' '));
        if (f.size() == 5 &&
            QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt()).contains(wanted.center()))
            return f[4];
    }
    // Another monitor than those remembered is the user's to choose in the dialog; a permission
    // stored before monitors were told apart serves as it always did.
    return entries.isEmpty() ? newest : QString();
}

void QScreenCast::keepToken(int mode, const QString& token)
{
    CSetting::setValue(kGroup, tokenKey(mode), token);
    if (mode == Game)
        return;
    const QRect monitor = monitorRect();
    QStringList kept;
    for (const QString& entry :
         CSetting::getString(kGroup, kMonitorTokens, QString()).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = entry.split(QLatin1Char(' '));
        if (f.size() == 5 && QRect(f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3].toInt()) != monitor)
            kept << entry;
    }
    kept << QStringLiteral("%1 %2 %3 %4 %5")
                .arg(monitor.x())
                .arg(monitor.y())
                .arg(monitor.width())
                .arg(monitor.height())
                .arg(token);
    CSetting::setValue(kGroup, kMonitorTokens, kept.join(QLatin1Char(';')));
}

void QScreenCast::open(int mode, const QRect& wanted)
{
    if (asking_ || isOpenFor(mode))
        return;
    session_->close();
    mode_ = mode;
    asking_ = true;
    platform::CastRequest request;
    request.multiple = mode == Game;
    // The pointer comes as metadata where the desktop can send it, so that each run draws it
    // or not as its command line says.
    request.cursor = platform::CastCursor::Metadata;
    request.restoreToken = tokenFor(mode, wanted).toStdString();
    session_->start(request, [this, mode](platform::CastOutcome outcome, const std::string& detail) {
        asking_ = false;
        switch (outcome) {
        case platform::CastOutcome::Granted: {
            // Always the newest: a desktop may hand out a new one with every grant.
            const QString token = QString::fromStdString(session_->restoreToken());
            if (!token.isEmpty())
                keepToken(mode, token);
            emit opened();
            break;
        }
        case platform::CastOutcome::Cancelled:
            mode_ = -1;
            emit cancelled();
            break;
        case platform::CastOutcome::Unavailable:
            mode_ = -1;
            QRecordLog::writeFailure(QStringLiteral("Recording failed: the desktop offers no screen cast "
                                                    "(org.freedesktop.portal.ScreenCast): ") +
                                     QString::fromStdString(detail));
            emit failed(tr("无法录制屏幕：此桌面没有屏幕录制服务。请安装 xdg-desktop-portal 和本桌面的后端"
                           "（如 xdg-desktop-portal-gnome）。"));
            break;
        case platform::CastOutcome::Failed:
            mode_ = -1;
            QRecordLog::writeFailure(QStringLiteral("Recording failed: the desktop's screen cast failed: ") +
                                     QString::fromStdString(detail));
            emit failed(tr("桌面未能共享屏幕，详情请查看错误日志！"));
            break;
        }
    });
}

bool QScreenCast::isOpen() const
{
    return session_->isOpen();
}

bool QScreenCast::isOpenFor(int mode) const
{
    return isOpen() && (mode_ == Game) == (mode == Game);
}

void QScreenCast::close()
{
    asking_ = false;
    mode_ = -1;
    session_->close();
}

QRect QScreenCast::monitorRect() const
{
    QRect joint;
    for (const platform::CastStream& s : session_->streams()) {
        const QRect r(s.x, s.y, s.width, s.height);
        if (mode_ != Game)
            return r;
        joint |= r;
    }
    return joint;
}

int QScreenCast::remote() const
{
    return session_->openRemote();
}

QProcessEnvironment QScreenCast::environment(int fd) const
{
    QProcessEnvironment environment;
    QStringList streams;
    for (const platform::CastStream& s : session_->streams())
        streams << QStringLiteral("%1@%2,%3,%4x%5").arg(s.node).arg(s.x).arg(s.y).arg(s.width).arg(s.height);
    const platform::CastCursor cursor = session_->cursor();
    environment.insert(QStringLiteral("REELCAST_PIPEWIRE_FD"), QString::number(fd));
    environment.insert(QStringLiteral("REELCAST_PIPEWIRE_STREAMS"), streams.join(QLatin1Char(';')));
    environment.insert(QStringLiteral("REELCAST_PIPEWIRE_CURSOR"),
                       cursor == platform::CastCursor::Metadata   ? QStringLiteral("metadata")
                       : cursor == platform::CastCursor::Embedded ? QStringLiteral("embedded")
                                                                  : QStringLiteral("hidden"));
    return environment;
}

void QScreenCast::takeSnapshot()
{
    const int fd = remote();
    auto folder = std::make_shared<QTemporaryDir>();
    if (fd < 0 || !folder->isValid()) {
        platform::closeDescriptor(fd);
        emit snapshot_taken(QImage());
        return;
    }
    const QString file = folder->filePath(QStringLiteral("snapshot.ppm"));
    auto* process = new QCastProcess(this);
    process->setInheritedDescriptor(fd);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(environment(fd));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(QPath::programFolder());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto done = [this, process, fd, folder, file] {
        platform::closeDescriptor(fd);
        const QImage picture(file, "PPM");
        if (picture.isNull())
            qCWarning(lcScreenCast) << "no snapshot of the cast:" << process->errorString();
        process->deleteLater();
        emit snapshot_taken(picture);
    };
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, done);
    connect(process, &QProcess::errorOccurred, this, [done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done();
    });
    QProcessCommand::start(*process, QProcessCommand::encoderCommand(QStringLiteral("--snapshot ") +
                                                                     QProcessCommand::quoted(file)));
}
