// Taking away what a suite registered on the machine, so that each test
// starts from the same state whatever an earlier run left behind.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace kvwine {

// Wine's own PostScript driver, placed by the printer suites as the driver
// of the printers they make. The prefixes map no drive to the host's root:
// host files are reached by Wine's \\?\unix\ names.
constexpr const char* kWinePs =
    "\\\\?\\unix\\usr\\lib\\i386-linux-gnu\\wine\\i386-windows\\wineps.drv";

// Deletes a key with everything below it (sub-keys first, as the NT family
// requires). Nothing happens when the key is not there.
void DeleteTree(HKEY root, const std::string& path);

// Deletes the printer `name` when there is one.
void RemovePrinter(const char* name);

// A test that registers its clean-up as it goes; TearDown runs it, the last
// registered first. An ASSERT returns from the test body, so clean-up written
// after one would be skipped whenever it fires.
class CleanupTest : public ::testing::Test {
 protected:
  void AtEnd(std::function<void()> undo) { undo_.push_back(std::move(undo)); }
  void TearDown() override {
    while (!undo_.empty()) {
      undo_.back()();
      undo_.pop_back();
    }
  }

 private:
  std::vector<std::function<void()>> undo_;
};

}  // namespace kvwine
