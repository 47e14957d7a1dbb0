// The utility's one application object.
#include "LEDUtilityApp.h"

CLEDUtilityApp theApp;
