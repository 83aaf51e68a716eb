// Removal of the fonts, the scanner's data files and the TWAIN data source
// with its support files: the files the font lists "font1.sii" and
// "font2.sii" and the scanner sections of "vt3eins.sii" name.
//
// Every file goes through DeleteOwnedFile, so a listed name that is not a
// plain file name, or a folder value ("NameHeader", "TempDir") that would
// lead out of its folder, deletes nothing there; such a line or value is
// passed over with a trace. A missing or busy file simply stays: nothing is
// reported and nothing is deferred to the batch.
#pragma once

#include <string>
#include <vector>

#include "foundation/context.h"

namespace kv {

// The keys read from each font list: 1..74 of "font1.sii", 1..132 of
// "font2.sii".
constexpr int kFontList1Keys = 74;
constexpr int kFontList2Keys = 132;

// For each font named in "FontSections" of the two font lists: deletes
// <Windows>\Fonts\<name>, then removes the font resource <name> (a font
// loaded at that moment keeps its file). Then broadcasts WM_FONTCHANGE once.
void RemoveFonts(Context& ctx);

// Deletes the font lists "font1.sii" and "font2.sii" of the Windows
// directory, which installation left there for RemoveFonts (deferred to the
// next start when they can't go now).
void DeleteFontLists(Context& ctx);

// Removes the scanner's folders once they are empty: the TWAIN folder
// <Windows>\Twain_32\<NameHeader>twn and the per-user
// <AppData>\Korva\ScannerDriver\<NameHeader>, ScannerDriver and Korva, of
// "vt3eins.sii". A folder that still holds anything stays.
void RemoveEmptyScannerFolders(Context& ctx);

// Deletes the scanner's preference data file ([Model] "SCNPreData") from the
// scanner data folder of the OS kind, and each file of the [UserDir] section
// from <system>\KVDRV and from that folder. The scanner data folder is
// <Windows>\TWAIN_32\<NameHeader>TWN on Windows 9x and
// <AppData>\Korva\ScannerDriver\<NameHeader> on 2000 and XP; other kinds
// have none (only the KVDRV copies go), and so has a user without an
// "AppData" shell folder.
void RemoveScannerData(Context& ctx, const char* setupFile);

// Deletes the files of the lists that [Sections] "Twain", "System", "User"
// and "Color" of "vt3eins.sii" name, each twice: from <system>\<TempDir>,
// then from its installed place (the TWAIN folder
// <Windows>\Twain_32\<NameHeader>twn, the system directory, the user folder,
// the colour folder). The user folder is the TWAIN folder on Windows 9x and
// <AppData>\Korva\ScannerDriver\<NameHeader> on NT 4.0, 2000 and XP; the
// colour folder <system>\Color on Windows 9x and <system>\Spool\Drivers\Color
// on the NT family. On another OS kind the user and colour lists lose only
// their temporary copies. The temporary copy folder goes too when listed
// copies were deleted from it and nothing else is left in it. `ignored` is
// not read: the file is always "vt3eins.sii". Always 0.
int DeleteFilesTWAIN(Context& ctx, const char* ignored);

}  // namespace kv
