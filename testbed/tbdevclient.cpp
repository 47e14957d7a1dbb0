// tbdevclient.exe <level> [<ioctl code in hex>]
//
// Minimal client of the VelraEIO stand-in driver, used to check the driver
// and its controller end to end: opens \\.\VelraEIO the way the LED utility
// does, sends the 4-byte level (little-endian) with IOCTL 0x0022C400 or the
// given code, and closes the handle. Exit code 0 when the device opened and
// the request succeeded, 1 when the open failed, 2 when the request failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tbdevclient <level> [<ioctl code hex>]\n");
        return 3;
    }
    DWORD level = std::strtoul(argv[1], nullptr, 0);
    DWORD code = argc == 3 ? std::strtoul(argv[2], nullptr, 16) : 0x0022C400;

    HANDLE dev = CreateFileA("\\\\.\\VelraEIO", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (dev == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "open failed: %lu\n", GetLastError());
        return 1;
    }
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(dev, code, &level, sizeof level, nullptr, 0, &returned, nullptr);
    DWORD err = GetLastError();
    CloseHandle(dev);
    if (!ok) {
        std::fprintf(stderr, "ioctl %08lX failed: %lu\n", code, err);
        return 2;
    }
    return 0;
}
