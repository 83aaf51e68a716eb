// Removal of the device entries a model left behind: the Windows 9x USB and
// parallel-port entries under Enum, the INF and PNF copies Windows 2000 and
// XP keep for the model's scanner and printer devices, and the parallel-port
// driver service of the NT family.
//
// Every key tree and file goes through the removal guard, and a value from
// the setup file is used only when it names what installation or Windows
// made: a device path of key names below an enumerator (never the
// enumerator itself, never ".." or an empty component), an enumerator or
// device key that is one key name, an INF that is a plain ".inf" file name.
// A value longer than its read limit is passed over rather than cut (a cut
// name names another device). Nothing is reported: whatever can't be had is
// traced and the next step runs.
#pragma once

#include "foundation/context.h"

namespace kv {

// Read limits of the setup file's values, in characters.
constexpr size_t kUsbValueLimit = 48;      // USBPRINT, USBPRINT2, USBID, USBID2
constexpr size_t kShortValueLimit = 24;    // Product, USBKey
constexpr size_t kDevIdValueLimit = 99;    // DevID
constexpr size_t kTwainDsValueLimit = 48;  // TwainDS

// Windows 9x: deletes, each with everything below it, "Enum\<USBID>" and
// its "&MI_00" and "&MI_01" interface entries; the printing-device entry
// "Enum\<enumerator>\<Product><model key name>" (with Product "ZODIR", in
// any case: "Enum\" + [USBPRINT] less its last four characters); and when
// [USBPRINT2] names a second printing device, "Enum\<enumerator>\" + that
// and the [USBID2] entries as for USBID. The model key name is `model`
// without a trailing language ending (" PS", " PCL6", " PCL5e", " PCL5c",
// " SPDL2", " SPDL", " SPDL-c", exact case) followed by "PCL_PS" when
// [USBPRINT] has it just before its last four characters; the enumerator
// is "USBKey" of [Files.Me] on Windows Me, of [Files.9x] otherwise,
// "USBPRINT" when empty. 0 when the model has no [USBID] value (nothing is
// deleted), otherwise 1, whatever could be deleted. Last error: not
// meaningful.
int DeleteUSBIDEntry(Context& ctx, const char* model, const char* setupFile);

// Windows 9x: deletes the instances below "Enum\USBPRINT\" +
// UsbDeviceName9x(setupFile) that registration wrote for the set (mfg
// "KORVA", that name as DeviceDesc), then the device key when nothing else
// is below it.
void DeleteUsbPrinterEntry9x(Context& ctx, const char* setupFile);

// Windows 9x: deletes the instances below "Enum\<DevID of model>" that
// registration wrote (Manufacturer "KORVA", HardwareID the DevID), then the
// device key when no other instance is left below it.
void DeleteDevIDEntry(Context& ctx, const char* model, const char* setupFile);

// Windows 2000 and XP: in each of the image and printer device classes, the
// first device (in index order) of the model - an image device whose
// DeviceData "TwainDS" is [Files.Com] "TwainDS", a printer device whose
// "DriverDesc" is `driverName`, both compared case-sensitively - has its
// INF copy (<Windows>\inf\<InfPath>) deleted and then, when that went, the
// PNF beside it. A device whose InfPath is missing or is no plain ".inf"
// name is passed over and the walk goes on. An empty TwainDS or driver name
// matches no device (an empty value would match every device that lacks
// one). The class keys stay.
void DeleteClassInfFiles(Context& ctx, const char* driverName,
                         const char* setupFile);

// NT family: asks the parallel-port driver service `serviceName` to stop
// (without waiting), marks it for deletion, then deletes its file (the
// system directory + `driverFile`, a plain or "drivers\name" form),
// deferred to the next start when it can't go now. Only the service
// installation made is touched: a kernel driver whose image is the path
// installation gave it (PortDriverImagePath); another service of that name
// (the spooler, the system's own port driver, named by a faulty setup
// file), a name that is no key name and an empty driver file leave
// everything alone. Always 1.
int DeleteDriverService(Context& ctx, const char* serviceName,
                        const char* driverFile);

}  // namespace kv
