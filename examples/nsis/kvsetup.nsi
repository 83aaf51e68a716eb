; kvsetup.nsi: an NSIS 3 installer and uninstaller of the sample KORVA
; KV-100 printer, calling _KVSUP32.dll through the System plug-in.
;
; Build (paths are relative to this file; override any with -D):
;   makensis -DKVSUP_DLL=../../build/mingw/_KVSUP32.dll \
;            -DKVSUP_MONITOR=../../build/mingw/tests/wine/kvtstmon.dll \
;            examples/nsis/kvsetup.nsi
;
; Command line of kvsetup.exe (NSIS's own /S and /D= work as usual; /D= last):
;   /LOG=FILE     append "Export = result" for every library call to FILE
;   /MEDIUM=DIR   install from this medium folder instead of the one inside
;   /PRINTER=NAME the printer's name (default "KORVA KV-100"; a free variant
;                 such as "KORVA KV-100(2)" is taken when it is in use)
; The uninstaller takes /LOG= too. Silent uninstall that can be waited for:
;   copy uninst.exe to a temporary folder, then run
;   uninst.exe /LOG=FILE /S _?=<installation folder>
;
; Error levels: 0 done, 1 cancelled by the user, 2 stopped by a failed call
; (its error was shown in the library's box).

Unicode false
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinVer.nsh"

!ifndef KVSUP_DLL
  !define KVSUP_DLL "../../build/mingw/_KVSUP32.dll"
!endif
!ifndef KVSUP_MONITOR
  !define KVSUP_MONITOR "../../build/mingw/tests/wine/kvtstmon.dll"
!endif
!ifndef KVSUP_MEDIUM
  !define KVSUP_MEDIUM "../medium"
!endif
!ifndef OUTFILE
  !define OUTFILE "kvsetup.exe"
!endif

!define PRODUCT "KORVA KV-100"
!define CAPTION "KORVA Setup"
!define MODEL "KV-100"
!define PORT "LPT1:"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; Windows errors the installer expects on a second run over an installation.
!define ERROR_PRINT_MONITOR_ALREADY_INSTALLED 3006
!define ERROR_PRINTER_ALREADY_EXISTS 1802

Name "${PRODUCT}"
Caption "${CAPTION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\KORVA\KV-100"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var Dll      ; the library's full path
Var Medium   ; the installation medium's folder
Var Log      ; the /LOG= file's handle; empty when there is none
Var Printer  ; the printer's name

; Calls export NAME of the library with System plug-in PARAMS (stdcall, the
; default on x86). The result comes back in $0 and the thread's last error,
; read right after the call ("? e"), in $1. OPTIONS adds options ("u"
; unloads the library after the call).
!macro KvCall NAME PARAMS OPTIONS
  System::Call '"$Dll"::${NAME}(${PARAMS}) i .r0 ? e${OPTIONS}'
  Pop $1
  DetailPrint "${NAME} = $0"
  ${If} $Log != ""
    FileWrite $Log "${NAME} = $0$\r$\n"
  ${EndIf}
!macroend
!define KvCall "!insertmacro KvCall"

; Stops the installation after a failed call, showing the call's error (in
; $1) in the box the library's LastErrorMessageBox shows: "Err:<code>
; [<system text>]", OK, no owner. That export itself can't show it here:
; NSIS's own work before each plug-in call changes the thread's last error
; (it leaves ERROR_FILE_EXISTS), so in a call of its own it would tell
; NSIS's error rather than the failed call's.
!macro KvStop
  StrCpy $3 ""
  System::Call 'kernel32::FormatMessageA(i 0x1200, p 0, i r1, i 0x400, m .r3, i ${NSIS_MAX_STRLEN}, p 0) i .r2'
  StrCpy $8 "Err:$1 [$3]"
  System::Call 'user32::MessageBoxA(p 0, m r8, m "${CAPTION}", i 0) i .r2'
  ${If} $Log != ""
    FileWrite $Log "stopped: error $1$\r$\n"
  ${EndIf}
  SetErrorLevel 2
  Abort "${PRODUCT}: a library call failed (error $1)."
!macroend
!define KvStop "!insertmacro KvStop"

; Opens the file named by /LOG= for appending.
!macro OpenLog UN
Function ${UN}OpenLog
  ${GetParameters} $2
  ClearErrors
  ${GetOptions} $2 "/LOG=" $3
  ${IfNot} ${Errors}
  ${AndIf} $3 != ""
    FileOpen $Log $3 a
    FileSeek $Log 0 END
  ${EndIf}
FunctionEnd
!macroend
!insertmacro OpenLog ""
!insertmacro OpenLog "un."

; The medium: /MEDIUM= names a folder, else the one inside the installer is
; unpacked into the plug-ins folder (deleted when the installer ends).
Function FindMedium
  ${GetParameters} $2
  ClearErrors
  ${GetOptions} $2 "/MEDIUM=" $Medium
  ${If} ${Errors}
  ${OrIf} $Medium == ""
    InitPluginsDir
    StrCpy $Medium "$PLUGINSDIR\medium"
    SetOutPath "$Medium"
    File "${KVSUP_MEDIUM}/kv.sii"
    File "/oname=kvtstmon.dll" "${KVSUP_MONITOR}"
    SetOutPath "$Medium\drivers"
    File "${KVSUP_MEDIUM}/drivers/*.*"
    SetOutPath "$Medium\kvdrv"
    File "${KVSUP_MEDIUM}/kvdrv/*.*"
  ${EndIf}
  ; The working folder must not stay in the plug-ins folder, or it can't go.
  SetOutPath "$INSTDIR"
FunctionEnd

; The printer's name: /PRINTER= or the product's, made free by the library
; (a printer already on our port keeps its name).
Function ChoosePrinterName
  ${GetParameters} $2
  ClearErrors
  ${GetOptions} $2 "/PRINTER=" $Printer
  ${If} ${Errors}
  ${OrIf} $Printer == ""
    StrCpy $Printer "${PRODUCT}"
  ${EndIf}
  ; The output buffer is 128 bytes, as the library's contract asks.
  System::Call '*(&m128 "") p .r4'
  ; Strings the user gives are passed from a register: quotes in them
  ; can't break the call's text.
  StrCpy $9 $Printer
  ${KvCall} GetPrinterDriverName 'm r9, m "${PORT}", p r4' ""
  System::Call '*$4(&m128 .r5)'
  System::Free $4
  ${If} $Log != ""
    FileWrite $Log '  buf = "$5"$\r$\n'
  ${EndIf}
  ${If} $0 = 0
    MessageBox MB_ICONSTOP "No free printer name was found for $Printer." /SD IDOK
    SetErrorLevel 2
    Abort "${PRODUCT}: no free printer name."
  ${EndIf}
  StrCpy $Printer $5
FunctionEnd

Section "Install"
  Call OpenLog
  SetOutPath "$INSTDIR"
  File "/oname=_KVSUP32.dll" "${KVSUP_DLL}"
  StrCpy $Dll "$INSTDIR\_KVSUP32.dll"
  ; The uninstaller first: a failed installation can still be taken away.
  WriteUninstaller "$INSTDIR\uninst.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} printer driver"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninst.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "KORVA"

  Call FindMedium
  ${IfNot} ${FileExists} "$Medium\kv.sii"
    MessageBox MB_ICONSTOP "The medium $Medium has no kv.sii." /SD IDOK
    SetErrorLevel 2
    Abort "${PRODUCT}: no setup file on the medium."
  ${EndIf}

  ; What kind of machine this is.
  ${KvCall} IsWinMe "" ""
  ${KvCall} CheckPC98 "" ""
  ${KvCall} GetCode98orAT "" ""

  ; The files, where the library and the spooler look for them: the monitor
  ; library in the system folder, the driver files in the spooler's driver
  ; folder on the NT family and in the system folder on Windows 9x, the INF
  ; copy and the setup file that removal reads.
  CopyFiles /SILENT "$Medium\kvtstmon.dll" "$SYSDIR"
  StrCpy $6 "$SYSDIR"
  ${If} ${IsNT}
    System::Call 'winspool.drv::GetPrinterDriverDirectoryA(p 0, p 0, i 1, m .r6, i ${NSIS_MAX_STRLEN}, *i .r7) i .r0 ? e'
    Pop $1
    ${If} $0 = 0
      ${KvStop}
    ${EndIf}
  ${EndIf}
  CopyFiles /SILENT "$Medium\drivers\*.*" "$6"
  CreateDirectory "$SYSDIR\KVDRV"
  CopyFiles /SILENT "$Medium\kvdrv\*.*" "$SYSDIR\KVDRV"
  CopyFiles /SILENT "$Medium\kv.sii" "$WINDIR\vt3eins.sii"

  ; The port monitor ("already installed" is a second run).
  ${KvCall} InstallPrinterMonitor 'm "$Medium\kv.sii"' ""
  ${If} $0 = 0
  ${AndIf} $1 <> ${ERROR_PRINT_MONITOR_ALREADY_INSTALLED}
    ${KvStop}
  ${EndIf}

  ; The driver's dependent files.
  ${KvCall} DepInit "" ""
  ${KvCall} MakeDep 'm "kvres.dll=1"' ""
  ${If} $0 = 0
    ${KvStop}
  ${EndIf}

  ; The printer on LPT1:, made the default printer.
  Call ChoosePrinterName
  StrCpy $9 $Printer
  ${KvCall} ToRegPrinter 'm "${PORT}", m "${MODEL}", i 1, m "$Medium", m r9, i 0, m "$Medium\kv.sii"' ""
  ${If} $0 = 0
  ${AndIf} $1 <> ${ERROR_PRINTER_ALREADY_EXISTS}
    ${KvStop}
  ${EndIf}
  DetailPrint "The printer $Printer is installed."
  ${If} $Log != ""
    FileClose $Log
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.OpenLog
  ; Without the library there is no installation here: change nothing.
  ${IfNot} ${FileExists} "$INSTDIR\_KVSUP32.dll"
    MessageBox MB_ICONINFORMATION "${PRODUCT} is not installed in $INSTDIR." /SD IDOK
    ${If} $Log != ""
      FileWrite $Log "not installed$\r$\n"
    ${EndIf}
    SetErrorLevel 2
    Abort "${PRODUCT} is not installed."
  ${EndIf}
  ; The library runs from a copy in the plug-ins folder, so the installation
  ; folder can go; "u" on the last call unloads it, so the copy can go too.
  InitPluginsDir
  CopyFiles /SILENT "$INSTDIR\_KVSUP32.dll" "$PLUGINSDIR"
  StrCpy $Dll "$PLUGINSDIR\_KVSUP32.dll"
  SetOutPath "$TEMP"

  ; The printers, drivers, monitor, services, device entries and driver
  ; files of the model sets the installation's setup file names.
  ${KvCall} UninstInitialize "i 0, i 0, i 0" ""

  Delete "$INSTDIR\_KVSUP32.dll"
  Delete "$INSTDIR\uninst.exe"
  RMDir "$INSTDIR"
  ${GetParent} "$INSTDIR" $2
  RMDir "$2"
  DeleteRegKey HKLM "${UNINST_KEY}"

  ; Last, since it may restart Windows: files still in use are handed to
  ; the next start, and the user is asked whether to restart now.
  ${KvCall} UninstUnInitialize "i 0, i 0, i 0" "u"
  ${If} $Log != ""
    FileClose $Log
  ${EndIf}
SectionEnd
