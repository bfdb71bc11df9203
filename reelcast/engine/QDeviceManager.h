#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QStringList>

#include <functional>

// Answers what the machine offers: the capture devices the encoder can open, cameras,
// microphones, a camera's frame sizes and the monitors. Every query runs on the calling thread
// and blocks it while the encoder lists (up to 30 s to start plus 30 s to finish); only the
// monitor list is kept from one call to the next.
class QDeviceManager : public QObject
{
    Q_OBJECT
public:
    // Every quoted device name of the encoder's device listing, video and audio together,
    // without duplicates, in listing order.
    static QStringList encoderDeviceNames();
    // Friendly names of the cameras.
    static QStringList videoInputNames();
    // Names of the microphones known to Qt Multimedia.
    static QStringList audioInputNames();
    // Distinct frame sizes ("1280x720") the encoder lists for `camera`, in order of first appearance.
    static QStringList cameraResolutions(const QString& camera);
    // The monitors in virtual-desktop coordinates; read once, on the first call that finds none.
    static QList<QRect> monitorRects();

    // Parsers of the encoder's listings, applied to its standard error.
    static QStringList parseDeviceListing(const QString& text);
    static QStringList parseResolutions(const QString& text);

    // Replaces the machine's answers, for tests and demonstrations without hardware. A query
    // whose function is empty asks the machine; an overridden monitor list is not cached.
    struct Provider
    {
        std::function<QStringList()> encoderDeviceNames;
        std::function<QStringList()> videoInputNames;
        std::function<QStringList()> audioInputNames;
        std::function<QStringList(const QString& camera)> cameraResolutions;
        std::function<QList<QRect>()> monitorRects;
    };
    static void setProvider(const Provider& provider);
    static void resetProvider();

private:
    QDeviceManager() = delete;
};
