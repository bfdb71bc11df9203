#include "ScreenCastPortal.h"

#include "LogCategories.h"
#include "PortalRequests.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QMutexLocker>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString& kPortal = PortalRequests::PORTAL;
const QString& kObject = PortalRequests::OBJECT;
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// The portal's source types and cursor modes.
constexpr uint kMonitor = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kCursorEmbedded = 2;
constexpr uint kCursorMetadata = 4;
// Remembered until the user revokes it.
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kAnswerCancelled = 1;

bool pairOf(const QVariant& value, int& first, int& second)
{
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginStructure();
    argument >> first >> second;
    argument.endStructure();
    return true;
}

std::vector<platform::CastStream> streamsOf(const QVariant& value)
{
    std::vector<platform::CastStream> streams;
    if (!value.canConvert<QDBusArgument>())
        return streams;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        platform::CastStream stream;
        QVariantMap properties;
        argument.beginStructure();
        argument >> stream.node >> properties;
        argument.endStructure();
        pairOf(properties.value(QStringLiteral("position")), stream.x, stream.y);
        pairOf(properties.value(QStringLiteral("size")), stream.width, stream.height);
        streams.push_back(stream);
    }
    argument.endArray();
    return streams;
}

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

} // namespace

ScreenCastPortal::ScreenCastPortal(QObject* parent) : QObject(parent), requests_(new PortalRequests(this)) {}

ScreenCastPortal::~ScreenCastPortal()
{
    close();
}

void ScreenCastPortal::start(const platform::CastRequest& request, Done done)
{
    close();
    request_ = request;
    done_ = std::move(done);
    tokenDropped_ = false;
    askProperties();
}

void ScreenCastPortal::askProperties()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kPortal, kObject, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    call << kScreenCast;
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *w;
        const QVariantMap properties = reply.isError() ? QVariantMap() : reply.value();
        if (!properties.contains(QStringLiteral("version"))) {
            // No portal, or one without a ScreenCast interface (a desktop without a backend).
            finish(platform::CastOutcome::Unavailable, reply.error().message().toStdString());
            return;
        }
        version_ = properties.value(QStringLiteral("version")).toUInt();
        cursorModes_ = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
        createSession();
    });
}

void ScreenCastPortal::createSession()
{
    const QString handle = QStringLiteral("reelcast_s%1").arg(QRandomGenerator::global()->generate());
    requests_->call(
        kScreenCast, QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), handle}},
        [this](uint code, const QVariantMap& results) {
            if (code != 0) {
                finish(code == kAnswerCancelled ? platform::CastOutcome::Cancelled
                                                : platform::CastOutcome::Failed,
                       "CreateSession answered " + std::to_string(code));
                return;
            }
            {
                QMutexLocker lock(&mutex_);
                session_ = PortalRequests::pathOf(results.value(QStringLiteral("session_handle")));
            }
            bus().connect(kPortal, session_, kSession, QStringLiteral("Closed"), this,
                          SLOT(onSessionClosed(QDBusMessage)));
            selectSources();
        });
}

void ScreenCastPortal::selectSources()
{
    // The pointer as wished where the desktop can, else the nearest it offers.
    const uint wished = request_.cursor == platform::CastCursor::Hidden     ? kCursorHidden
                        : request_.cursor == platform::CastCursor::Embedded ? kCursorEmbedded
                                                                            : kCursorMetadata;
    uint mode = kCursorHidden;
    for (uint candidate : {wished, kCursorMetadata, kCursorEmbedded})
        if (cursorModes_ & candidate) {
            mode = candidate;
            break;
        }
    cursor_ = mode == kCursorMetadata   ? platform::CastCursor::Metadata
              : mode == kCursorEmbedded ? platform::CastCursor::Embedded
                                        : platform::CastCursor::Hidden;
    QVariantMap options{{QStringLiteral("types"), kMonitor},
                        {QStringLiteral("multiple"), request_.multiple},
                        {QStringLiteral("cursor_mode"), mode}};
    // Remembered permissions came with version 4.
    if (version_ >= 4) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!request_.restoreToken.empty() && !tokenDropped_)
            options.insert(QStringLiteral("restore_token"), QString::fromStdString(request_.restoreToken));
    }
    requests_->call(kScreenCast, QStringLiteral("SelectSources"),
                    {QVariant::fromValue(QDBusObjectPath(session_))}, options,
                    [this](uint code, const QVariantMap& results) {
                        if (code != 0)
                            refused(code, results, "SelectSources");
                        else
                            startCast();
                    });
}

void ScreenCastPortal::startCast()
{
    // No time limit: the desktop's dialog waits for the user.
    requests_->call(kScreenCast, QStringLiteral("Start"),
                    {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {},
                    [this](uint code, const QVariantMap& results) {
                        if (code != 0) {
                            refused(code, results, "Start");
                            return;
                        }
                        const std::vector<platform::CastStream> streams =
                            streamsOf(results.value(QStringLiteral("streams")));
                        if (streams.empty()) {
                            finish(platform::CastOutcome::Failed, "the desktop gave no stream");
                            return;
                        }
                        {
                            QMutexLocker lock(&mutex_);
                            streams_ = streams;
                            open_ = true;
                            const QString token = results.value(QStringLiteral("restore_token")).toString();
                            if (!token.isEmpty())
                                token_ = token.toStdString();
                        }
                        finish(platform::CastOutcome::Granted, std::string());
                    });
}

void ScreenCastPortal::refused(uint code, const QVariantMap& results, const char* step)
{
    const bool retry = code != kAnswerCancelled && !request_.restoreToken.empty() && !tokenDropped_;
    qCInfo(lcScreenCast) << step << "answered" << code << results
                         << (retry ? "; asking without the token" : "");
    if (retry) {
        // A remembered permission the desktop no longer honours: ask the user on a new session.
        tokenDropped_ = true;
        closeSession();
        createSession();
        return;
    }
    finish(code == kAnswerCancelled ? platform::CastOutcome::Cancelled : platform::CastOutcome::Failed,
           std::string(step) + " answered " + std::to_string(code));
}

void ScreenCastPortal::onSessionClosed(const QDBusMessage& message)
{
    if (message.path() != session_)
        return;
    qCInfo(lcScreenCast) << "the desktop closed the cast" << session_;
    const bool wasOpen = isOpen();
    {
        QMutexLocker lock(&mutex_);
        open_ = false;
    }
    closeSession();
    if (wasOpen && onClosed)
        onClosed();
    else if (done_)
        finish(platform::CastOutcome::Failed, "the desktop closed the session");
}

void ScreenCastPortal::finish(platform::CastOutcome outcome, const std::string& detail)
{
    if (outcome != platform::CastOutcome::Granted)
        closeSession();
    Done done;
    std::swap(done, done_);
    if (done)
        done(outcome, detail);
}

void ScreenCastPortal::closeSession()
{
    // A dialog still open for us goes with the session.
    requests_->cancelAll();
    QString session;
    {
        QMutexLocker lock(&mutex_);
        std::swap(session, session_);
        open_ = false;
        streams_.clear();
    }
    if (session.isEmpty())
        return;
    bus().disconnect(kPortal, session, kSession, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed(QDBusMessage)));
    bus().send(QDBusMessage::createMethodCall(kPortal, session, kSession, QStringLiteral("Close")));
}

void ScreenCastPortal::close()
{
    done_ = nullptr;
    closeSession();
}

int ScreenCastPortal::openRemote() const
{
    QString session;
    {
        QMutexLocker lock(&mutex_);
        if (!open_)
            return -1;
        session = session_;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortal, kObject, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap();
    const QDBusMessage reply = bus().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcScreenCast) << "OpenPipeWireRemote failed:" << reply.errorMessage();
        return -1;
    }
    const QDBusUnixFileDescriptor descriptor =
        qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().at(0));
    if (!descriptor.isValid())
        return -1;
    // Our own copy: the message's goes with it.
    return fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
}

bool ScreenCastPortal::isOpen() const
{
    QMutexLocker lock(&mutex_);
    return open_;
}

std::vector<platform::CastStream> ScreenCastPortal::streams() const
{
    QMutexLocker lock(&mutex_);
    return streams_;
}

platform::CastCursor ScreenCastPortal::cursor() const
{
    return cursor_;
}

std::string ScreenCastPortal::restoreToken() const
{
    QMutexLocker lock(&mutex_);
    return token_;
}
