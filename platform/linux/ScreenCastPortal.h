#pragma once

#include "PlatformScreenCast.h"

#include <QDBusMessage>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// The desktop's ScreenCast portal: CreateSession, SelectSources, Start as requests whose
// answer comes as a Response signal on a request object, then a PipeWire remote per reader.
// Lives on the interface thread; openRemote() is safe from any thread.
class PortalRequests;

class ScreenCastPortal : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(platform::CastOutcome, const std::string&)>;

    explicit ScreenCastPortal(QObject* parent = nullptr);
    ~ScreenCastPortal() override;

    void start(const platform::CastRequest& request, Done done);
    void close();
    int openRemote() const;

    bool isOpen() const;
    std::vector<platform::CastStream> streams() const;
    platform::CastCursor cursor() const;
    std::string restoreToken() const;

    std::function<void()> onClosed;

private slots:
    void onSessionClosed(const QDBusMessage& message);

private:
    void askProperties();
    void createSession();
    void selectSources();
    void startCast();
    // Retried once without the remembered permission when the desktop refused it.
    void refused(uint code, const QVariantMap& results, const char* step);
    void finish(platform::CastOutcome outcome, const std::string& detail);
    void closeSession();

    platform::CastRequest request_;
    Done done_;
    uint version_ = 0;
    uint cursorModes_ = 0;
    bool tokenDropped_ = false;
    PortalRequests* requests_;

    mutable QMutex mutex_;
    QString session_;
    bool open_ = false;
    std::vector<platform::CastStream> streams_;
    platform::CastCursor cursor_ = platform::CastCursor::Hidden;
    std::string token_;
};
