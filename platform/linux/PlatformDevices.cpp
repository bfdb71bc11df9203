#include "PlatformDevices.h"

#include "V4l2CameraList.h"

#include <QString>

std::vector<std::wstring> platform::videoInputDeviceNames()
{
    // The encoder adapter builds the same list, so every name offered here opens a device there.
    std::vector<std::wstring> names;
    for (const V4l2CameraList::Camera& camera : V4l2CameraList::cameras())
        names.push_back(QString::fromStdString(camera.name).toStdWString());
    return names;
}
