// The Windows port list: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
// are the ports that exist now ("COM3"); each port's description is its
// device's friendly name ("USB Serial Port (COM3)"), found through the
// "PortName" value of the device's key among the present Ports-class devices.
#include <windows.h>
// Defines the class GUIDs here rather than expecting them in a library.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <map>

#include "platform/serial_ports.h"
#include "platform/win32/wide_text.h"

namespace talvek {

namespace platform {

namespace {

std::wstring registryString(HKEY key, const wchar_t* value) {
    wchar_t buffer[256];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::wstring();
    std::wstring text(buffer, size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// Port name -> friendly name, for the Ports-class devices that are present.
std::map<std::wstring, std::wstring> friendlyNames() {
    std::map<std::wstring, std::wstring> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::wstring port = registryString(key, L"PortName");
        RegCloseKey(key);
        wchar_t friendly[256];
        DWORD type = 0;
        if (!port.empty() &&
            SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, &type,
                                              reinterpret_cast<BYTE*>(friendly), sizeof friendly,
                                              nullptr) &&
            type == REG_SZ)
            names[port] = friendly;
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

// COM2 before COM10: the number counts, not its digits.
bool portOrder(const SerialPortInfo& a, const SerialPortInfo& b) {
    auto split = [](const std::string& name) {
        size_t digits = name.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
        const std::string number = name.substr(digits);
        return std::make_pair(name.substr(0, digits),
                              number.empty() ? -1L : std::strtol(number.c_str(), nullptr, 10));
    };
    return split(a.name) < split(b.name);
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const SystemRoots&) {
    std::vector<SerialPortInfo> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    const std::map<std::wstring, std::wstring> friendly = friendlyNames();
    for (DWORD i = 0;; ++i) {
        wchar_t device[256];
        DWORD deviceLength = 256;
        wchar_t port[256];
        DWORD portSize = sizeof port;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, device, &deviceLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(port), &portSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        std::wstring name(port, portSize / sizeof(wchar_t));
        while (!name.empty() && name.back() == L'\0') name.pop_back();
        if (name.empty()) continue;
        const auto found = friendly.find(name);
        // Without a friendly name, the kernel's device ("\Device\Serial0")
        // still tells a built-in port from an adapter's.
        ports.push_back(SerialPortInfo{
            toUtf8(name),
            toUtf8(found != friendly.end() ? found->second : std::wstring(device, deviceLength)),
            {}});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), portOrder);
    return ports;
}

std::string portOpenAdvice(const std::string& name, const PortError& error,
                           const SystemRoots& roots) {
    switch (error.fault) {
        // No user right guards a COM port on Windows: refused means taken.
        case PortFault::Busy:
        case PortFault::AccessDenied:
            return "Another program is using " + name + ": close it, then try again.";
        case PortFault::NotFound:
            return missingPortAdvice(name, listSerialPorts(roots));
        default:
            return std::string();
    }
}

}  // namespace platform

}  // namespace talvek
