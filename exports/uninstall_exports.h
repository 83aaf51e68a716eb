// Exports of removal.
#pragma once

#include "foundation/win32.h"

#define KV_UNINSTALL_EXPORTS(X) \
  X(UninstInitialize)           \
  X(UninstUnInitialize)         \
  X(DeleteFilesTWAIN)           \
  X(DeleteUSBIDEntry)           \
  X(DeleteFiles9x)              \
  X(DeleteFilesNT)              \
  X(DeleteFiles2k)              \
  X(DeleteFilesXP)

extern "C" {

// The uninstaller's first entry: removes what installation registered for
// the model sets of vt3eins.sii, vt3dins.sii and vt3hins.sii in the Windows
// directory (fonts, printers, drivers, port monitors and their libraries,
// port-driver services and their files, device entries, driver and scanner
// files, the driver store folder when empty, scanner data, TWAIN files),
// each found under the name installation gave it; a driver (and its set's
// files) stays while a printer uses it, and a default printer that is
// removed moves to a printer left. Starts the deferred-deletion batch for
// files in use and cycles the print services. The three arguments are
// ignored; always 0. Last error: not meaningful.
int WINAPI UninstInitialize(DWORD reserved1, DWORD reserved2, DWORD reserved3);
// The uninstaller's last entry: starts the print services again (NT family)
// or, on Windows 9x, deletes the [Devices] line of a driver registered in
// this same process (an uninstaller registered none: nothing goes) and
// makes the first printer left the default when the default names a
// printer that is gone; then hands the batch to the next start of Windows
// and asks whether to restart now (Yes restarts Windows).
// The three arguments are ignored; always 0. Last error: not meaningful.
int WINAPI UninstUnInitialize(DWORD reserved1, DWORD reserved2,
                              DWORD reserved3);

// Deletes the TWAIN, system, per-user and colour files that the lists of
// vt3eins.sii name (its argument is ignored), each from the temporary copy
// folder and from its installed place; nothing is deferred. The result
// means nothing. Last error: not meaningful.
int WINAPI DeleteFilesTWAIN(LPCSTR ignored);

// Windows 9x: deletes the USB device entries of printer model `model` that
// `setupFile` names ([USBID], [USBID2], [USBPRINT], [USBPRINT2]) below Enum,
// with everything below them; a value naming a hub, a class or a bus of
// Windows' own deletes nothing. 0 when the model has no [USBID] value
// (nothing is deleted), otherwise 1. Last error: not meaningful.
int WINAPI DeleteUSBIDEntry(LPCSTR model, LPCSTR setupFile);

// The driver-file removals the installer script calls itself, one per
// Windows family whichever Windows runs, for the setup file `setupFile`.
// Each deletes the files its family's INF copies in the driver store list
// and the files the setup file names, wherever installation put them; it
// defers nothing, and a name that is not a plain file name is never
// deleted. The result is that of the sequence's last deletion: non-zero
// when that file was deleted, 0 otherwise (whatever became of the others).
// Last error: when 0, that deletion's error (ERROR_FILE_NOT_FOUND for a
// file not there, ERROR_ACCESS_DENIED for a read-only one,
// ERROR_SHARING_VIOLATION for one in use, ERROR_INVALID_NAME when the key
// is empty, too long or no plain file name); after non-zero not meaningful.

// Windows 95/98/Me printer, scanner and USB files. The last deletion is
// the USB communication INF ("USBComINF") in the Windows INF folder.
int WINAPI DeleteFiles9x(LPCSTR setupFile);
// NT 4.0 printer files. The last deletion is the printer INF copy
// ("PRNInfFileNT") in the driver store.
int WINAPI DeleteFilesNT(LPCSTR setupFile);
// Windows 2000 and XP printer and scanner files (the "2K" or "XP" keys).
// The last deletion is the scanner catalogue ("SCNCatFile2K",
// "SCNCatFileXP") in the driver store.
int WINAPI DeleteFiles2k(LPCSTR setupFile);
int WINAPI DeleteFilesXP(LPCSTR setupFile);

}  // extern "C"
