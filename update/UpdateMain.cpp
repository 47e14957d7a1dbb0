// The updater's one application object.
#include "UpdateApp.h"

CUpdateApp theApp;
