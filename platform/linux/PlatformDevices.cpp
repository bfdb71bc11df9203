#include "PlatformDevices.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <algorithm>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The camera the encoder adapter simulates from a test picture when asked to.
const char* const kSimulatedCamera = "Test Camera";

// A video4linux node is a camera only if it captures video; metadata and output nodes of the
// same device share its name and must not be offered.
bool canCapture(const QString& devicePath)
{
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    v4l2_capability cap{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    if (!ok)
        return false;
    const quint32 caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE);
}

} // namespace

std::vector<std::wstring> platform::videoInputDeviceNames()
{
    std::vector<std::wstring> names;
    if (qgetenv("REELCAST_DEVICES") == "simulated")
        names.push_back(QString::fromLatin1(kSimulatedCamera).toStdWString());

    QDir sysfs(QStringLiteral("/sys/class/video4linux"));
    const QRegularExpression nodeName(QStringLiteral("^video(\\d+)$"));
    QList<QPair<int, QString>> nodes;
    const QStringList entries = sysfs.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        const QRegularExpressionMatch m = nodeName.match(entry);
        if (m.hasMatch())
            nodes.append({m.captured(1).toInt(), entry});
    }
    // Numeric order, so video10 follows video9 as the system numbers them.
    std::sort(nodes.begin(), nodes.end());

    for (const auto& node : nodes) {
        QFile nameFile(sysfs.filePath(node.second + QStringLiteral("/name")));
        if (!nameFile.open(QIODevice::ReadOnly))
            continue;
        const QString name = QString::fromUtf8(nameFile.readAll()).trimmed();
        if (name.isEmpty() || !canCapture(QStringLiteral("/dev/") + node.second))
            continue;
        names.push_back(name.toStdWString());
    }
    return names;
}
