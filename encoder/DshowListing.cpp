#include "DshowListing.h"

#include <cmath>
#include <sstream>

namespace {

const char* const kPrefix = "[dshow @ 0x5a1e0c0de000] ";

std::string fps(double value)
{
    std::ostringstream out;
    out << (std::fabs(value - std::round(value)) < 1e-6 ? std::round(value) : value);
    return out.str();
}

} // namespace

std::string DshowListing::devices(const std::vector<Device>& devices)
{
    std::ostringstream out;
    for (const Device& device : devices) {
        out << kPrefix << '"' << device.name << "\" (" << (device.audio ? "audio" : "video") << ")\n";
        out << kPrefix << "  Alternative name \"" << device.alternative << "\"\n";
    }
    out << "dummy: Immediate exit requested\n";
    return out.str();
}

std::string DshowListing::options(const std::string& camera, const std::vector<V4l2Devices::Mode>& modes)
{
    std::ostringstream out;
    out << kPrefix << "DirectShow video device options (from video devices)\n";
    out << kPrefix << " Pin \"Capture\" (alternative pin name \"0\")\n";
    for (const V4l2Devices::Mode& mode : modes) {
        const std::string size = std::to_string(mode.width) + "x" + std::to_string(mode.height);
        out << kPrefix << "  " << (mode.compressed ? "vcodec=" : "pixel_format=") << mode.format
            << "  min s=" << size << " fps=" << fps(mode.minFps) << " max s=" << size
            << " fps=" << fps(mode.maxFps) << "\n";
    }
    out << "video=" << camera << ": Immediate exit requested\n";
    return out.str();
}

std::string DshowListing::cameraNotFound(const std::string& camera)
{
    return std::string(kPrefix) + "Could not find video device with name [" + camera +
           "] among source devices of type video.\nvideo=" + camera + ": I/O error\n";
}
