#include "PlatformDevices.h"

#include <windows.h>

#include <dshow.h>

namespace {

// Balances CoInitialize only when it took effect on this thread, so a thread that runs COM in
// another mode keeps its own initialisation.
struct ComScope
{
    HRESULT hr = CoInitialize(nullptr);
    ~ComScope()
    {
        if (SUCCEEDED(hr))
            CoUninitialize();
    }
};

} // namespace

std::vector<std::wstring> platform::videoInputDeviceNames()
{
    std::vector<std::wstring> names;
    ComScope com;

    ICreateDevEnum* devEnum = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void**>(&devEnum));
    if (FAILED(hr) || !devEnum)
        return names;

    IEnumMoniker* monikers = nullptr;
    hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    // An empty category answers S_FALSE and no enumerator.
    if (hr != S_OK || !monikers) {
        if (monikers)
            monikers->Release();
        devEnum->Release();
        return names;
    }

    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(
                moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
            VARIANT value;
            VariantInit(&value);
            // A device whose name cannot be read is skipped; a name seen twice is listed twice.
            if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
                value.bstrVal)
                names.emplace_back(value.bstrVal, SysStringLen(value.bstrVal));
            VariantClear(&value);
            bag->Release();
        }
        moniker->Release();
        moniker = nullptr;
    }

    monikers->Release();
    devEnum->Release();
    return names;
}
