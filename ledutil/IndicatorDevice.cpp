#include "IndicatorDevice.h"

#include <winioctl.h>

#include "Handle.h"

static_assert(IOCTL_SET_INDICATOR_LEVEL ==
                  CTL_CODE(FILE_DEVICE_UNKNOWN, 0x100, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
              "control code fields");

namespace {
const char kDevicePath[] = "\\\\.\\VelraEIO";

}  // namespace

BOOL SetIndicatorLevel(int nLevel)
{
    // Share mode 0: the driver decides whether a second opener is refused.
    CFileHandle device(::CreateFileA(kDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!device)
        return FALSE;
    // The driver reads exactly four little-endian bytes.
    INT32 nInput = nLevel;
    DWORD cbReturned = 0;
    // Whether the driver accepted the level is not our concern here: the
    // open succeeding is what tells the start-up retry to stop.
    ::DeviceIoControl(device.Get(), IOCTL_SET_INDICATOR_LEVEL, &nInput, sizeof(nInput), nullptr, 0, &cbReturned,
                      nullptr);
    return TRUE;
}
