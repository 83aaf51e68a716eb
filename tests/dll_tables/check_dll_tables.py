#!/usr/bin/env python3
"""Reads the export and import tables of the built _KVSUP32.dll.

- Every exported name is one of the library's interface (FULL_EXPORTS): an
  unknown or misspelt name, or a decorated one (IsWinMe@0), fails.
- The DLL exports exactly the names of exports/_KVSUP32.def, and those are
  exactly the names of KV_ALL_EXPORTS in exports/all.h.
- The DLL is PE32 for i386 and imports only system DLLs every target
  Windows has, and none of the functions Windows 95 or NT 4.0 lack: a DLL
  importing one of them does not load there at all.

usage: check_dll_tables.py --dll DLL --source-dir DIR [--objdump PROG]
Exits 0 when every check holds, 1 when one fails, 77 when the DLL or
objdump is missing (the test is then skipped, not passed).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys

# The whole interface of the library, by family. Implemented names must be
# among these; the rest come with later work.
FULL_EXPORTS = {
    # Windows version probes
    "IsWinMe", "GetCode98orAT", "CheckPC98",
    # services
    "ToRestartPrinterService",
    # diagnostics
    "LastErrorMessageBox",
    # printer registration
    "ToRegPrinter", "ToRegPrinter95", "ToRegPrinterNT",
    # port monitor
    "InstallPrinterMonitor",
    # parallel ports
    "ToDetectLPT",
    # printer queries
    "GetPrinterNum", "GetPrinterDriverName", "PrinterCheck", "Chk_MicroTcpIpEntryNT",
    # TCP/IP ports
    "StdTcpIpPortSet", "KVPortSet",
    # LPR ports
    "StdTcpIpPortSetNt", "AddLPD",
    # Windows 9x network port
    "StdTcpIpPortSet9x", "StdTcpIpPortSet9x_After",
    # ports, monitors, tools
    "SearchPorts", "ListPorts", "Add_Port", "WinSub_AddPort", "WinSub_DeletePort",
    "Add_Monitor", "LaunchTool", "CheckUSBPort",
    # device finder
    "DF_GetPoint", "DF_GetAddress", "DF_GetModelName", "DF_GetName",
    "DF_GetDescription", "DF_GetLocation", "DF_GetMacAddress", "DF_ListStrtoStr4",
    # file copies
    "ExpCopy", "DefineFileName",
    # tree copy
    "Xcopy",
    # dependent files
    "DepInit", "MakeDep",
    # fonts, launches, disk
    "ToInstallTTF", "VtoeSwmd", "GetDiskFreeSize",
    # uninstall entries
    "UninstInitialize", "UninstUnInitialize",
    # TWAIN files
    "DeleteFilesTWAIN",
    # driver files
    "DeleteFiles9x", "DeleteFilesNT", "DeleteFiles2k", "DeleteFilesXP",
    # USB entries
    "DeleteUSBIDEntry",
    # timer thread
    "CreateTimerThread", "DestroyTimerThread", "TimerThreadState",
    "TimerThread_TmStart", "TimerThread_TmStop", "WinApi_SetTimer", "WinApi_KillTimer",
    # dialog and strings
    "BrowseFolder", "WinSub_SetForcus", "WinSub_EnableWindow", "BtmClickMessage",
    "WinSub_CreateDirectory", "WinSub_StrCmp", "StrFind", "StrTopDel", "DelSpace",
    "TopStringNum",
}

ALLOWED_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "winspool.drv",
    "lz32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll",
}

# Functions missing from Windows 95 or NT 4.0 (the version that brought each).
# Such a function is looked up with GetProcAddress at run time instead.
MISSING_ON_OLDEST = {
    "GetDiskFreeSpaceExA": "95 OSR2",
    "GetDiskFreeSpaceExW": "95 OSR2",
    "IsDebuggerPresent": "98 / NT 4.0",
    "InterlockedCompareExchange": "98 / NT 4.0",
    "InterlockedExchangeAdd": "98 / NT 4.0",
    "GetFileSizeEx": "2000",
    "SetFilePointerEx": "2000",
    "TryEnterCriticalSection": "NT 4.0, never 9x",
    "InitializeCriticalSectionAndSpinCount": "98 / NT 4.0 SP3",
    "SetCriticalSectionSpinCount": "98 / NT 4.0 SP3",
    "GetModuleHandleExA": "XP",
    "GetModuleHandleExW": "XP",
    "GetTickCount64": "Vista",
    "GetSystemTimePreciseAsFileTime": "8",
    "FlsAlloc": "Server 2003",
    "FlsGetValue": "Server 2003",
    "FlsSetValue": "Server 2003",
    "FlsFree": "Server 2003",
    "SignalObjectAndWait": "NT 4.0, never 9x",
    "SwitchToThread": "NT 4.0, never 9x",
    "FindFirstFileExA": "NT 4.0, never 9x",
    "CopyFileExA": "NT 4.0, never 9x",
    "IsProcessorFeaturePresent": "NT 4.0, never 9x",
    "GetLongPathNameA": "98 / 2000",
    "GetSystemWindowsDirectoryA": "2000",
    "CreateHardLinkA": "2000",
    "GetConsoleWindow": "2000",
    "AddVectoredExceptionHandler": "XP",
    "GetNativeSystemInfo": "XP",
    "InitializeSListHead": "XP",
    "GetProcessId": "XP SP1",
    "SetDllDirectoryA": "XP SP1",
    "IsWow64Process": "XP SP2",
    "InitializeConditionVariable": "Vista",
    "InitializeSRWLock": "Vista",
    "CreateEventExA": "Vista",
}

RUNTIME_DLL = re.compile(r"^(libgcc|libstdc\+\+|libwinpthread)", re.IGNORECASE)


def parse_objdump(text):
    """Returns (file format, PE magic, exported names, {dll: [imports]})."""
    fmt = re.search(r"file format (\S+)", text)
    magic = re.search(r"^Magic\s+(\S+)", text, re.MULTILINE)
    exports = []
    imports = {}
    section = None
    dll = None
    for line in text.splitlines():
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "exports"
            continue
        if line.startswith("The Import Tables"):
            section = "imports"
            continue
        if section == "exports":
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)", line)
            if m:
                exports.append(m.group(1))
            elif line.strip() == "":
                section = None
        elif section == "imports":
            m = re.match(r"\s*DLL Name:\s*(\S+)", line)
            if m:
                dll = m.group(1)
                imports.setdefault(dll, [])
                continue
            m = re.match(r"\s*[0-9a-fA-F]+\s+(\d+)\s+(\S+)", line)
            if m and dll:
                imports[dll].append(m.group(2))
            elif line.startswith("There is") or line.startswith("The "):
                section = None
    return (fmt.group(1) if fmt else None, magic.group(1) if magic else None,
            exports, imports)


def parse_def(path):
    names = []
    in_exports = False
    with open(path) as f:
        for raw in f:
            line = raw.split(";", 1)[0].strip()
            if not line:
                continue
            if re.match(r"^EXPORTS\b", line):
                in_exports = True
                continue
            if re.match(r"^(LIBRARY|NAME|DESCRIPTION|SECTIONS|HEAPSIZE|STACKSIZE)\b", line):
                in_exports = False
                continue
            if in_exports:
                # name[=internal] [@ordinal] [NONAME|DATA|PRIVATE]
                names.append(re.split(r"[\s=@]", line, 1)[0])
    return names


def parse_export_macros(exports_dir):
    """The names KV_ALL_EXPORTS(X) expands to, from exports/*.h."""
    macros = {}
    for name in sorted(os.listdir(exports_dir)):
        if not name.endswith(".h"):
            continue
        with open(os.path.join(exports_dir, name)) as f:
            text = f.read().replace("\\\n", " ")
        for m in re.finditer(r"^\s*#\s*define\s+(KV_\w+)\(X\)(.*)$", text, re.MULTILINE):
            macros[m.group(1)] = m.group(2)

    def expand(macro, seen):
        if macro not in macros:
            raise SystemExit(f"FAIL: {macro} is used but not defined in {exports_dir}")
        if macro in seen:
            raise SystemExit(f"FAIL: {macro} expands to itself")
        names = []
        for call in re.finditer(r"(\w+)\s*\(\s*(\w+)\s*\)", macros[macro]):
            head, arg = call.group(1), call.group(2)
            if head == "X":
                names.append(arg)
            elif arg == "X":
                names.extend(expand(head, seen | {macro}))
        return names

    return expand("KV_ALL_EXPORTS", frozenset())


def duplicates(names):
    seen, dup = set(), set()
    for n in names:
        (dup if n in seen else seen).add(n)
    return sorted(dup)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dll", required=True)
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    args = ap.parse_args()

    objdump = shutil.which(args.objdump) or (args.objdump if os.path.isfile(args.objdump) else None)
    if not objdump:
        print(f"SKIP: {args.objdump} not found (tools/setup.sh installs it)")
        return 77
    if not os.path.isfile(args.dll):
        print(f"SKIP: {args.dll} has not been built (cmake --preset mingw && cmake --build --preset mingw)")
        return 77

    out = subprocess.run([objdump, "-p", args.dll], check=True, capture_output=True,
                         text=True).stdout
    fmt, magic, exports, imports = parse_objdump(out)
    def_names = parse_def(os.path.join(args.source_dir, "exports", "_KVSUP32.def"))
    macro_names = parse_export_macros(os.path.join(args.source_dir, "exports"))

    failures = []

    def check(ok, message):
        if not ok:
            failures.append(message)

    check(fmt == "pei-i386", f"file format is {fmt}, not pei-i386")
    check(magic == "010b", f"optional header magic is {magic}, not 010b (PE32)")
    check(exports, "no export table found")

    for label, names in (("DLL", exports), (".def", def_names), ("KV_ALL_EXPORTS", macro_names)):
        for n in duplicates(names):
            failures.append(f"{label} lists {n} more than once")
        for n in sorted(set(names) - FULL_EXPORTS):
            failures.append(f"{label} has {n}, which is not an export of the library")

    dll_set, def_set, macro_set = set(exports), set(def_names), set(macro_names)
    for n in sorted(dll_set - def_set):
        failures.append(f"the DLL exports {n}, which _KVSUP32.def does not list")
    for n in sorted(def_set - dll_set):
        failures.append(f"_KVSUP32.def lists {n}, which the DLL does not export")
    for n in sorted(def_set - macro_set):
        failures.append(f"_KVSUP32.def lists {n}, which KV_ALL_EXPORTS does not")
    for n in sorted(macro_set - def_set):
        failures.append(f"KV_ALL_EXPORTS has {n}, which _KVSUP32.def does not list")

    for dll, functions in sorted(imports.items()):
        if RUNTIME_DLL.match(dll):
            failures.append(f"imports the runtime DLL {dll}: link it statically")
        elif dll.lower() not in ALLOWED_DLLS:
            failures.append(f"imports {dll}, which is not a system DLL every target has")
        for fn in functions:
            if fn in MISSING_ON_OLDEST:
                failures.append(f"imports {dll}!{fn}, which Windows before "
                                f"{MISSING_ON_OLDEST[fn]} lacks: look it up at run time")

    total_imports = sum(len(v) for v in imports.values())
    print(f"{args.dll}: {fmt}, {len(exports)} exports, {total_imports} imports "
          f"from {len(imports)} DLLs ({', '.join(sorted(imports))})")
    for f in failures:
        print(f"FAIL: {f}")
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all table checks hold")
    return 0


if __name__ == "__main__":
    sys.exit(main())
