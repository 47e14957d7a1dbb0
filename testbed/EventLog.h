// Event log shared by the user-mode stand-ins (tbwindow, velsvc_s, VLBIOSIF).
//
// Every event is one line "<source> <event>[ <details>]\r\n" appended to
// C:\testbed\events.log with a single WriteFile on an append-only handle, so
// lines from several processes (and from the driver) never interleave.
// Tests and the demo read that file to see what reached the stand-ins.
#pragma once

// Appends one line; details may be null or empty. Failures are ignored:
// a stand-in must behave the same whether or not its event could be logged.
void TbLogEvent(const char* source, const char* event, const char* details = nullptr);
