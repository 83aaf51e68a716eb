// Exports of removal.
#pragma once

#include "foundation/win32.h"

#define KV_UNINSTALL_EXPORTS(X) \
  X(DeleteFiles9x)              \
  X(DeleteFilesNT)              \
  X(DeleteFiles2k)              \
  X(DeleteFilesXP)

extern "C" {

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
