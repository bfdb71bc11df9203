#include "QDeviceManager.h"

#include "LogCategories.h"
#include "PlatformDevices.h"
#include "PlatformMonitors.h"
#include "QProcessCommand.h"

#include <QAudioDeviceInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QRegExp>

namespace {

const int kFinishTimeoutMs = 30000;

QMutex& providerMutex()
{
    static QMutex m;
    return m;
}

QDeviceManager::Provider& provider()
{
    static QDeviceManager::Provider p;
    return p;
}

// A copy taken under the lock, so a query on a worker never sees a half-replaced provider.
QDeviceManager::Provider currentProvider()
{
    QMutexLocker lock(&providerMutex());
    return provider();
}

// Runs the program folder's encoder with `arguments` and returns its standard error. A
// missing encoder yields nothing; one that hangs is cut off after the finish limit and yields
// what it printed until then.
QString runEncoder(const QString& arguments, bool debugOutput)
{
    const QString command = QProcessCommand::encoderCommand(arguments);
    if (debugOutput)
        qCDebug(lcDevices).noquote() << command;
    QProcess process;
    QProcessCommand::startAndWait(process, command);
    process.waitForFinished(kFinishTimeoutMs);
    const QString text = QString::fromUtf8(process.readAllStandardError());
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (debugOutput)
        qCDebug(lcDevices).noquote() << "error: " + text;
    return text;
}

} // namespace

QStringList QDeviceManager::parseDeviceListing(const QString& text)
{
    QStringList names;
    QRegExp rx(QStringLiteral("\"[a-zA-Z0-9.-\\s]*\""));
    int pos = 0;
    while ((pos = rx.indexIn(text, pos)) != -1) {
        QString name = rx.cap(0);
        name.remove(QLatin1Char('"'));
        if (!names.contains(name))
            names.append(name);
        // An empty pair of quotes is a match of length 2, so the scan always advances.
        pos += rx.matchedLength();
    }
    return names;
}

QStringList QDeviceManager::parseResolutions(const QString& text)
{
    QStringList sizes;
    QRegExp rx(QStringLiteral("\\d{3,}x\\d{3,}"));
    int pos = 0;
    while ((pos = rx.indexIn(text, pos)) != -1) {
        const QString size = rx.cap(0);
        if (!sizes.contains(size))
            sizes.append(size);
        pos += rx.matchedLength();
    }
    return sizes;
}

QStringList QDeviceManager::encoderDeviceNames()
{
    const Provider p = currentProvider();
    if (p.encoderDeviceNames)
        return p.encoderDeviceNames();
    return parseDeviceListing(runEncoder(QStringLiteral("-f dshow -list_devices true -i dummy"), true));
}

QStringList QDeviceManager::videoInputNames()
{
    const Provider p = currentProvider();
    if (p.videoInputNames)
        return p.videoInputNames();
    QStringList names;
    for (const std::wstring& name : platform::videoInputDeviceNames())
        names.append(QString::fromStdWString(name));
    return names;
}

QStringList QDeviceManager::audioInputNames()
{
    const Provider p = currentProvider();
    if (p.audioInputNames)
        return p.audioInputNames();
    QStringList names;
    const QList<QAudioDeviceInfo> devices = QAudioDeviceInfo::availableDevices(QAudio::AudioInput);
    for (const QAudioDeviceInfo& device : devices)
        names.append(device.deviceName());
    return names;
}

QStringList QDeviceManager::cameraResolutions(const QString& camera)
{
    const Provider p = currentProvider();
    if (p.cameraResolutions)
        return p.cameraResolutions(camera);
    return parseResolutions(runEncoder(
        QStringLiteral("-list_options true -f dshow -i video=") + QProcessCommand::quoted(camera), false));
}

QList<QRect> QDeviceManager::monitorRects()
{
    const Provider p = currentProvider();
    if (p.monitorRects)
        return p.monitorRects();
    // Filled once per process: monitors attached later are seen after a restart.
    static QList<QRect> monitors;
    static QMutex monitorsMutex;
    QMutexLocker lock(&monitorsMutex);
    if (monitors.isEmpty()) {
        for (const platform::MonitorRect& r : platform::monitorRects())
            monitors.append(QRect(r.left, r.top, r.width, r.height));
    }
    return monitors;
}

void QDeviceManager::setProvider(const Provider& p)
{
    QMutexLocker lock(&providerMutex());
    provider() = p;
}

void QDeviceManager::resetProvider()
{
    setProvider(Provider());
}
