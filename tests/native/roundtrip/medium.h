// Generated installation media for the round trip of installation and
// removal: each one a pure function of its seed, written as the setup files,
// INF copies, stand-in driver, monitor and port-driver files of our product
// and of a second maker's, with three scripts for kvsup-host:
//
//   second.kvs   the second maker's product, installed first through the
//                same library (its printer becomes the default)
//   install.kvs  ours, as an installer makes its calls: files staged,
//                port records, DepInit/MakeDep and ToRegPrinter per
//                printer, scanner and TWAIN files, fonts
//   remove.kvs   UninstInitialize, UninstUnInitialize, the next start
//
// The medium does not depend on the Windows family; the scripts do (where
// each family keeps drivers, which ports it has).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kv::roundtrip {

// The families a medium is replayed on, by the hosts' --os names.
const std::vector<std::string>& Families();

// Seeds below LimitSeedCount() each put one limit of the setup file format
// into an otherwise random medium; from kFirstRandomSeed on every choice is
// random.
size_t LimitSeedCount();
constexpr uint64_t kFirstRandomSeed = 1000;

struct Medium {
  uint64_t seed = 0;
  std::string os;
  // Every file of the output folder: path below it ('/' separated), content.
  std::map<std::string, std::string> files;
  // The printers install.kvs makes, and the second maker's (the default
  // printer before our installation).
  std::vector<std::string> printers;
  std::string secondPrinter;
  // Keys below HKLM\Enum that plugging in our USB printers makes (Windows
  // 9x); empty when the medium has none on this family.
  std::vector<std::string> usbDevices;
  // One line: what the seed chose.
  std::string summary;
};

// The medium of `seed` for family `os` (one of Families()).
Medium MakeMedium(uint64_t seed, const std::string& os);

// Writes the medium's files into `dir` and a fresh simulated machine of its
// family into `dir`/machine (with the parts of Windows the machine is laid
// out without, see PrepareMachine). False with `error` set when a file can't
// be written or `dir`/machine holds a machine already.
bool WriteMedium(const Medium& medium, const std::string& dir,
                 std::string* error);

// What plugging in the medium's USB printers does on Windows 9x: the device
// keys below HKLM\Enum\USB, written into the machine saved in `machineDir`.
// Done after the snapshot before our installation: the device is part of
// what the installation brings.
bool PlugInPrinters(const Medium& medium, const std::string& machineDir,
                    std::string* error);

// The command lines that replay the round trip of `medium` written to `dir`
// with the native tools in `toolDir` (kvsup-medium, kvsup-host).
std::string ReplayCommands(const Medium& medium, const std::string& dir,
                           const std::string& toolDir = "build/native");

}  // namespace kv::roundtrip
