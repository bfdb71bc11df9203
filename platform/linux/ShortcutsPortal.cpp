#include "ShortcutsPortal.h"

#include "LogCategories.h"
#include "PortalRequests.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {

const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// One shortcut as BindShortcuts takes it: (sa{sv}).
struct Shortcut
{
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

ShortcutsPortal::ShortcutsPortal(QObject* parent) : QObject(parent), requests_(new PortalRequests(this))
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

ShortcutsPortal::~ShortcutsPortal()
{
    requests_->cancelAll();
    if (!session_.isEmpty())
        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(PortalRequests::PORTAL, session_,
                                                                          kSession, QStringLiteral("Close")));
}

void ShortcutsPortal::bind(const std::vector<platform::DesktopShortcuts::Action>& actions,
                           std::function<void(bool)> ready, std::function<void(const std::string&)> activated)
{
    actions_ = actions;
    ready_ = std::move(ready);
    activated_ = std::move(activated);
    QDBusMessage call = QDBusMessage::createMethodCall(PortalRequests::PORTAL, PortalRequests::OBJECT,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << kShortcuts << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QVariant> reply = *w;
        if (reply.isError()) {
            qCInfo(lcScreenCast) << "no GlobalShortcuts portal:" << reply.error().message();
            finish(false);
            return;
        }
        createSession();
    });
}

void ShortcutsPortal::createSession()
{
    const QString handle = QStringLiteral("reelcast_k%1").arg(QRandomGenerator::global()->generate());
    requests_->call(kShortcuts, QStringLiteral("CreateSession"), {},
                    {{QStringLiteral("session_handle_token"), handle}},
                    [this](uint code, const QVariantMap& results) {
                        if (code != 0) {
                            qCInfo(lcScreenCast) << "GlobalShortcuts CreateSession answered" << code;
                            finish(false);
                            return;
                        }
                        session_ = PortalRequests::pathOf(results.value(QStringLiteral("session_handle")));
                        QDBusConnection::sessionBus().connect(PortalRequests::PORTAL, PortalRequests::OBJECT,
                                                              kShortcuts, QStringLiteral("Activated"), this,
                                                              SLOT(onActivated(QDBusMessage)));
                        bindShortcuts();
                    });
}

void ShortcutsPortal::bindShortcuts()
{
    QList<Shortcut> shortcuts;
    for (const platform::DesktopShortcuts::Action& action : actions_)
        shortcuts << Shortcut{
            QString::fromStdString(action.id),
            {{QStringLiteral("description"), QString::fromStdString(action.description)},
             {QStringLiteral("preferred_trigger"), QString::fromStdString(action.preferredTrigger)}}};
    requests_->call(
        kShortcuts, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()}, {},
        [this](uint code, const QVariantMap& results) {
            qCInfo(lcScreenCast) << "BindShortcuts answered" << code << results;
            finish(code == 0);
        });
}

void ShortcutsPortal::onActivated(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (arguments.size() < 2 || PortalRequests::pathOf(arguments.at(0)) != session_ || !activated_)
        return;
    activated_(arguments.at(1).toString().toStdString());
}

void ShortcutsPortal::finish(bool bound)
{
    std::function<void(bool)> ready;
    std::swap(ready, ready_);
    if (ready)
        ready(bound);
}
