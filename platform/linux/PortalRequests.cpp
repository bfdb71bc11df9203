#include "PortalRequests.h"

#include "LogCategories.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {

const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

QDBusConnection bus()
{
    return QDBusConnection::sessionBus();
}

} // namespace

const QString PortalRequests::PORTAL = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalRequests::OBJECT = QStringLiteral("/org/freedesktop/portal/desktop");

QVariantMap PortalRequests::mapOf(const QVariant& value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

QString PortalRequests::pathOf(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

void PortalRequests::call(const QString& interface, const QString& method, QVariantList arguments,
                          QVariantMap options, Answer answer)
{
    // The answer comes on an object named after our bus name and this token.
    const QString token =
        QStringLiteral("reelcast%1_%2").arg(++serial_).arg(QRandomGenerator::global()->generate());
    QString sender = bus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    options.insert(QStringLiteral("handle_token"), token);
    pending_.insert(path, answer);
    subscribe(path);

    QDBusMessage message = QDBusMessage::createMethodCall(PORTAL, OBJECT, interface, method);
    arguments << options;
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, method](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (!pending_.contains(path))
                    return; // given up meanwhile
                if (reply.isError()) {
                    unsubscribe(path);
                    const Answer failed = pending_.take(path);
                    qCInfo(lcScreenCast) << method << "failed:" << reply.error().message();
                    failed(2, {{QStringLiteral("error"), reply.error().message()}});
                    return;
                }
                // Older portals name the request object themselves.
                const QString named = reply.value().path();
                if (named != path && !named.isEmpty()) {
                    unsubscribe(path);
                    pending_.insert(named, pending_.take(path));
                    subscribe(named);
                }
            });
}

void PortalRequests::cancelAll()
{
    for (const QString& path : pending_.keys()) {
        unsubscribe(path);
        bus().send(QDBusMessage::createMethodCall(PORTAL, path, kRequest, QStringLiteral("Close")));
    }
    pending_.clear();
}

void PortalRequests::subscribe(const QString& path)
{
    bus().connect(PORTAL, path, kRequest, QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
}

void PortalRequests::unsubscribe(const QString& path)
{
    bus().disconnect(PORTAL, path, kRequest, QStringLiteral("Response"), this,
                     SLOT(onResponse(QDBusMessage)));
}

void PortalRequests::onResponse(const QDBusMessage& message)
{
    const QString path = message.path();
    if (!pending_.contains(path) || message.arguments().size() < 2)
        return;
    unsubscribe(path);
    const Answer answer = pending_.take(path);
    answer(message.arguments().at(0).toUInt(), mapOf(message.arguments().at(1)));
}
