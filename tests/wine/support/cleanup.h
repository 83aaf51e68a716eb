// Taking away what a suite registered on the machine, so that each test
// starts from the same state whatever an earlier run left behind.
#pragma once

#include <windows.h>

#include <string>

namespace kvwine {

// Wine's own PostScript driver, placed by the printer suites as the driver
// of the printers they make.
constexpr const char* kWinePs =
    "Z:\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\wineps.drv";

// Deletes a key with everything below it (sub-keys first, as the NT family
// requires). Nothing happens when the key is not there.
void DeleteTree(HKEY root, const std::string& path);

// Deletes the printer `name` when there is one.
void RemovePrinter(const char* name);

}  // namespace kvwine
