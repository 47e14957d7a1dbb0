// The testbed's event log, where its programs and driver note what they are
// asked to do.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tst {

// C:\testbed\events.log, where the testbed's programs and driver log what
// they are asked to do: whole lines without their CRLF.
std::vector<std::string> TestbedEvents();
void ClearTestbedEvents();

}  // namespace tst
