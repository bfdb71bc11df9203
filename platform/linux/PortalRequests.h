#pragma once

#include <QDBusMessage>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

// Calls of the desktop portal that answer through a Response signal on a request object: the
// signal is listened to before the call, so that no answer is missed however quick. Interface
// thread only.
class PortalRequests : public QObject
{
    Q_OBJECT
public:
    using Answer = std::function<void(uint, const QVariantMap&)>;

    static const QString PORTAL;
    static const QString OBJECT;

    explicit PortalRequests(QObject* parent = nullptr) : QObject(parent) {}

    // Calls `method` of `interface` with `arguments` and the options (a handle token added);
    // `answer` gets the response code and results, 2 with "error" when the call itself failed.
    void call(const QString& interface, const QString& method, QVariantList arguments, QVariantMap options,
              Answer answer);
    // Drops every answer still awaited and closes its request (a dialog goes with it).
    void cancelAll();

    // A D-Bus structure or plain value of a result as a map, an object path as text.
    static QVariantMap mapOf(const QVariant& value);
    static QString pathOf(const QVariant& value);

private slots:
    void onResponse(const QDBusMessage& message);

private:
    void subscribe(const QString& path);
    void unsubscribe(const QString& path);

    QMap<QString, Answer> pending_;
    int serial_ = 0;
};
