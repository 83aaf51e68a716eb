// Exports of file staging.
#pragma once

#include "foundation/win32.h"

#define KV_STAGING_EXPORTS(X) \
  X(DepInit)                  \
  X(MakeDep)                  \
  X(ExpCopy)                  \
  X(DefineFileName)           \
  X(Xcopy)                    \
  X(ToInstallTTF)             \
  X(VtoeSwmd)                 \
  X(GetDiskFreeSize)

extern "C" {

// Starts a new dependent-file list for the next printer driver (the old names
// stay until overwritten). Always 1. Last error: as the caller had it.
int WINAPI DepInit(void);

// Appends file `name` to the dependent-file list, dropping a "=x".."=xxx"
// medium suffix. 1; 0 when the name would not fit the 500-byte list (the list
// is left as it was). Last error: as the caller had it.
int WINAPI MakeDep(LPCSTR name);

// Copies `fileName` from `sourceDir` to `destDir` (both ending in a
// backslash), expanding it when compressed. When `listedName` differs from
// `fileName` (ignoring case) the medium holds it under its compressed name
// (SETUP.DLL as SETUP.DL_). A source directory over 100 characters is staged
// through <windir>\TEMP\KorvaInstallTmp. 1 when the destination holds the
// whole expanded file; 0, with the destination as it was, when a path would
// pass 259 characters, the destination is the source file itself (however
// spelled), the medium's file can't be staged (no staged copy is used then),
// the source can't be opened, the destination is read-only or the expansion
// fails or ends early. `kind` is unused. Last error: when 0, the failing
// call's error (ERROR_SHARING_VIOLATION for a copy onto itself,
// ERROR_FILENAME_EXCED_RANGE for a path too long, ERROR_ACCESS_DENIED for a
// read-only destination); after 1 not meaningful.
int WINAPI ExpCopy(LPCSTR sourceDir, LPCSTR destDir, LPCSTR fileName,
                   LPCSTR listedName, int kind);

// Cuts a "=" and one to three characters off the end of `entry`, in place.
// Always 1. Last error: as the caller had it.
int WINAPI DefineFileName(LPSTR entry);

// Copies the branches of the tree at `sourceDir` into the existing
// `destDir` that the rules of `installerType` ("LNKSCAN", "Ocelot2",
// "Ocelot2AR", "MarlinPDL") select with `selectedFolder` and the running
// Windows family. Unknown type: the box "Unknown Installer Type!!" (caption
// "ERROR") per entry, nothing copied; unknown Windows for the OS-folder types:
// "Unknown OS" per entry and no OS folder taken. Entries whose paths would
// pass 259 characters are not built. A file is never copied onto itself;
// one that can't be replaced keeps its content and attributes. 1 when every
// file the rules select is copied (attributes normal) and every folder they
// select exists; 0 when the source can't be searched, when `destDir` (or its
// nearest existing ancestor) is the source folder or lies inside it, however
// spelled (nothing is copied), when either folder is null, or when a selected
// file or folder could not be copied or created (its path too long included)
// or a directory search broke off: the walk then still copies all it can. An
// empty folder, and a search handle that fails to close, are no failure.
// Last error: when 0, the first failure's error (FindFirstFileA's for a
// source that can't be searched, ERROR_PATH_NOT_FOUND for a missing one;
// ERROR_FILENAME_EXCED_RANGE for a path too long); ERROR_INVALID_PARAMETER
// for a destination inside the source; a null folder leaves it as the caller
// had it; after 1 not meaningful.
int WINAPI Xcopy(LPCSTR sourceDir, LPCSTR destDir, LPCSTR selectedFolder,
                 LPCSTR installerType);

// Adds the fonts of the TrueType file `path` to the running system (until
// restart) and broadcasts WM_FONTCHANGE. 1 when a font was added, else 0.
// `unused` is ignored. Last error: when the file can't be opened exclusively,
// CreateFileA's error (ERROR_FILE_NOT_FOUND for a missing file; the library
// clears it before); otherwise not meaningful.
int WINAPI ToInstallTTF(LPCSTR path, int unused);

// Starts `command` (a program of the family's driver directory and its
// arguments) hidden and does not wait; WinExec's result (above 31 when started,
// else the error code). Last error: not meaningful.
UINT WINAPI VtoeSwmd(LPCSTR command);

// Free space of the Windows directory's volume in MiB; 0 when it can't be
// asked. Last error: not meaningful.
unsigned long long WINAPI GetDiskFreeSize(void);

}  // extern "C"
