// The machine as the registration and removal suites set it up and look at
// it: folders and files, the RunOnce hand-over, programs run as at the next
// start, services and the spooler's lists.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/wine/support/cleanup.h"

namespace kvwine {

// The key whose values Windows runs once at its next start.
constexpr const char* kRunOnce =
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// A small PPD that Wine's PostScript driver takes as a model's data file.
constexpr const char* kPpd =
    "*PPD-Adobe: \"4.3\"\r\n*FormatVersion: \"4.3\"\r\n"
    "*LanguageVersion: English\r\n*LanguageEncoding: ISOLatin1\r\n"
    "*PCFileName: \"KVTEST.PPD\"\r\n*Manufacturer: \"KORVA\"\r\n"
    "*ModelName: \"KORVA KV-1000\"\r\n*NickName: \"KORVA KV-1000\"\r\n"
    "*LanguageLevel: \"3\"\r\n*ColorDevice: False\r\n"
    "*OpenUI *PageSize: PickOne\r\n*DefaultPageSize: A4\r\n"
    "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\r\n"
    "*CloseUI: *PageSize\r\n*DefaultImageableArea: A4\r\n"
    "*ImageableArea A4/A4: \"18 18 577 824\"\r\n*DefaultPaperDimension: A4\r\n"
    "*PaperDimension A4/A4: \"595 842\"\r\n*DefaultResolution: 600dpi\r\n";

// The system directory (`system`) or the Windows directory; empty if cut.
std::string Dir(bool system);

// The spooler's printer-driver directory; empty when it can't be read.
std::string DriverDirectory();

// Whether a file or folder is at `path`.
bool Exists(const std::string& path);

// `text` as the whole of the file at `path`; whether all of it was written.
bool WriteFileText(const std::string& path, const std::string& text);

// The bytes of the file at `path`, or "<missing>" when it can't be opened.
std::string ReadFileBytes(const std::string& path);

// Deletes removal's RunOnce values: "VT3E" and "VT3E_0" to "VT3E_31".
void DeleteRunOnceValues();

// Runs `command` in `folder`, waiting at most 30 s; its exit code, or -1.
int RunCommand(const std::string& command, const std::string& folder);

// The pName of each record a spooler list gives at `level`; none on failure.
template <typename Info>
std::vector<std::string> Names(BOOL(WINAPI* list)(LPSTR, LPSTR, DWORD, LPBYTE,
                                                  DWORD, LPDWORD, LPDWORD),
                               DWORD level) {
  DWORD needed = 0, count = 0;
  list(nullptr, nullptr, level, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 4);
  std::vector<std::string> names;
  if (!list(nullptr, nullptr, level, buffer.data(), needed, &needed, &count))
    return names;
  auto* info = reinterpret_cast<Info*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) names.push_back(info[i].pName);
  return names;
}

// EnumPrintersA of the local printers, shaped for Names.
BOOL WINAPI EnumLocalPrinters(LPSTR, LPSTR, DWORD level, LPBYTE buffer,
                              DWORD size, LPDWORD needed, LPDWORD count);

// EnumMonitorsA, shaped for Names (monitors have no environment).
BOOL WINAPI EnumMonitorList(LPSTR server, LPSTR, DWORD level, LPBYTE buffer,
                            DWORD size, LPDWORD needed, LPDWORD count);

// Whether `names` holds `name`, compared without case as Windows does.
bool Has(const std::vector<std::string>& names, const char* name);

// Whether the service manager knows the service `name`.
bool ServiceExists(const char* name);

// Stops and deletes the service `name` when there is one.
void RemoveService(const char* name);

// Unregisters `printers` (each named like its driver) and `monitor`.
void UnregisterPrinters(std::initializer_list<const char*> printers,
                        const char* monitor);

// A removal test: no batch, RunOnce values, setup or message file around it.
class RemovalTest : public CleanupTest {
 protected:
  explicit RemovalTest(const char* messageFile) : messageFile_(messageFile) {}
  // Clears the machine, then runs the suite's Prepare.
  void SetUp() final;
  // What a suite's tests need beyond a cleared machine.
  virtual void Prepare() {}
  // Deletes the batch, its RunOnce values, the setup and message files.
  void ClearMachine();

  std::string system_, windows_, batch_;

 private:
  const char* messageFile_;
};

}  // namespace kvwine
