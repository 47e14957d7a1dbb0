// The utility's only contact with hardware: sending a brightness level for
// the power-indicator LED to the maker's I/O driver.
//
// SetIndicatorLevel opens \\.\VelraEIO, sends the level with one device
// control request and closes the device again; no handle outlives a call.
// The main frame calls it once a second at start-up until it answers TRUE,
// the brightness panel on every slider movement. Levels: 0 off, 1
// intermediate, 2 brightest; the value is passed through unchecked.
#pragma once
#include <windows.h>

// Device type FILE_DEVICE_UNKNOWN, function 0x100, buffered, read and
// write access.
#define IOCTL_SET_INDICATOR_LEVEL 0x0022C400

// TRUE when the device opened, whatever the driver then did with the
// request; FALSE when the driver is not there (yet).
BOOL SetIndicatorLevel(int nLevel);
