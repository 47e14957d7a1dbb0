// The updater's one application object; a build made with the maker's
// certificate pins it to that certificate's packages (cmake/package-pin).
#include "UpdateApp.h"

#ifdef VELRA_PACKAGE_PIN
#include "PackagePin.h"
CUpdateApp theApp(kPackagePin);
#else
CUpdateApp theApp;
#endif
