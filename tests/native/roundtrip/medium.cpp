#include "tests/native/roundtrip/medium.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>

#include "sim/sim_platform.h"

namespace kv::roundtrip {
namespace {

namespace fs = std::filesystem;

// The longest printer name the spooler takes.
constexpr size_t kPrinterNameLimit = 220;
// The product name as the model lookup reads it when installing.
constexpr size_t kInstalledProductLength = 19;
// The Windows directory by a path both hosts' machines have: ours hands
// ToRegPrinter its setup file there.
constexpr char kWindowsDir[] = "C:\\WINDOWS";
constexpr char kMediumOnMachine[] = "C:\\kvmedia";
// Windows' own USB scanner driver (98, Me, 2000, XP).
constexpr char kUsbScan[] = "usbscan.sys";
constexpr char kKvTcpIpMonitor[] = "KV TCP/IP Port";

// splitmix64: the same numbers on every compiler and library, so a seed
// names the same medium everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed ^ 0x6A09E667F3BCC909ull) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Range(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  bool Chance(int percent) { return Range(1, 100) <= percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Next() % items.size()];
  }
  // The first 0 to `most` of `items` (at least `least`).
  template <typename T>
  std::vector<T> Some(const std::vector<T>& items, int least, int most) {
    return {items.begin(), items.begin() + Range(least, most)};
  }

 private:
  uint64_t state_;
};

using Words = std::vector<std::string>;

const Words kEndings = {" PS",    " PCL6", " PCL5e", " PCL5c",
                        " SPDL2", " SPDL", " SPDL-c"};
const Words kProductWords = {"Imaging",  "Systems",   "Europe",  "Office",
                             "Printing", "Solutions", "Digital", "Nordic",
                             "Graphics", "Works"};
const Words kModelWords = {"Network", "Duplex", "Colour", "Professional",
                           "Edition", "Series", "Office", "Plus"};
const Words kPlaceWords = {"on",   "floor",     "3",     "accounting",
                           "west", "wing",      "room",  "214",
                           "(A)",  "reception", "north", "annex"};

// `text` cut to `length`, never ending in a blank (a profile read drops it).
std::string Fit(std::string text, size_t length) {
  if (text.size() > length) text.resize(length);
  while (!text.empty() && text.back() == ' ') text.back() = 'X';
  return text;
}

// `text` followed by words until it is `length` characters long.
std::string Filled(Rng& rng, std::string text, const Words& words,
                   size_t length) {
  while (text.size() < length) text += " " + rng.Pick(words);
  return Fit(text, length);
}

std::string Hex4(Rng& rng) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < 4; ++i) s += kDigits[rng.Range(0, 15)];
  return s;
}

// A device identifier as Windows forms one from a printer's own ID: maker
// and model run together, blanks as underscores, cut to 20, and a
// four-digit checksum.
std::string DeviceId(Rng& rng, const std::string& product,
                     const std::string& model) {
  std::string id;
  for (char c : product + model) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') id += c;
    if (c == ' ') id += '_';
  }
  return id.substr(0, 20) + Hex4(rng);
}

// Names compared as Windows compares them: without regard to case.
class Taken {
 public:
  bool Add(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    return names_.insert(name).second;
  }

 private:
  std::set<std::string> names_;
};

// The limit of the setup file format one limit seed puts into its medium.
enum class Limit {
  kPlain,          // one model on LPT1:, nothing else
  kProduct,        // "Product" of the row's length
  kDriverName,     // "Product" + " " + Model1 of the row's length
  kPrinterName,    // the first printer's name of the row's length
  kModelEndings,   // as many models, each with a language ending
  kEverything,     // every part the generator knows
  kMonitorPrefix,  // the second maker's monitor named after ours
};
constexpr const char* kLimitNames[] = {
    "one model on LPT1:, nothing else",
    "Product length",
    "driver name length",
    "printer name length",
    "models, each with a language ending",
    "every part",
    "the second maker's monitor named after ours"};
struct LimitRow {
  Limit kind;
  size_t length;
};

// Seed n below its size puts row n into its medium.
const std::vector<LimitRow>& LimitRows() {
  static const std::vector<LimitRow> kRows = [] {
    std::vector<LimitRow> rows = {{Limit::kPlain, 0}};
    for (size_t n : {18, 19, 20, 21, 24, 25, 26, 40, 60})
      rows.push_back({Limit::kProduct, n});
    for (size_t n : {98, 99, 100, 126, 127, 128})
      rows.push_back({Limit::kDriverName, n});
    for (size_t n : {size_t{99}, size_t{100}, kPrinterNameLimit})
      rows.push_back({Limit::kPrinterName, n});
    rows.insert(rows.end(), {{Limit::kModelEndings, 12},
                             {Limit::kEverything, 0},
                             {Limit::kMonitorPrefix, 0}});
    return rows;
  }();
  return kRows;
}

// ---- What the seed decides (the same on every family) ----------------------

enum class PortIntent { kLpt1, kLpt2, kUsb, kNetwork };

struct PrinterChoice {
  std::string name;
  size_t model = 0;
  PortIntent port = PortIntent::kLpt1;
  std::string address;  // network ports
  bool makeDefault = false;
  bool mediumSuffix = false;  // MakeDep names as the INF lists them ("=1")
};

// One setup file's model set: ours, or the second maker's.
struct ModelSet {
  bool ours = true;
  std::string dir;   // below the output folder: "medium" or "second"
  std::string file;  // the setup file in `dir`
  // ToRegPrinter's setup directory and setup file arguments.
  std::string setupDir, setupFile;
  std::string product;
  std::vector<std::string> models, devIds;
  std::string stem;  // of the driver files
  std::string drvNt, confNt, drv9x, data, help;
  std::vector<std::string> dependents;
  std::string inf9x, infMe, infNt, inf2k, infXp, catalogue;
  bool entryCommas = false;
  bool infInWindows = false;  // on 9x and NT 4.0 also in W\INF
  std::string monitor, monitorDll;
  std::string lptFile, lptService;
  std::string usbId, usbDeviceId, usbInf, usbComInf;
  std::vector<PrinterChoice> printers;

  bool HasUsb() const {
    return std::any_of(printers.begin(), printers.end(), [](const auto& p) {
      return p.port == PortIntent::kUsb;
    });
  }
  std::vector<std::string> Files(bool nt) const {
    std::vector<std::string> f = {nt ? drvNt : drv9x, data, help};
    if (nt) f.push_back(confNt);
    f.insert(f.end(), dependents.begin(), dependents.end());
    return f;
  }
  std::string LptName() const { return lptFile.substr(lptFile.find('\\') + 1); }
};

struct Scanner {
  bool files = false;    // the scanner INF, its files and data
  bool lists = false;    // the TWAIN file lists
  bool usbScan = false;  // the INF lists Windows' own USB scanner driver
  std::string header, inf, catalogue, preData, tempDir;
  // Driver, UI, data source and colour profile.
  std::vector<std::string> infFiles = {"kvscn.dll", "kvscnui.dll", "kvscan.ds",
                                       "kvscnpro.icm"};
  std::vector<std::string> userDir, renameFiles;
  std::vector<std::string> twain, system, user, colour;
};

struct Choices {
  uint64_t seed = 0;
  const LimitRow* limit = nullptr;
  std::vector<ModelSet> sets;
  ModelSet second;
  Scanner scanner;
  std::vector<std::string> fonts1, fonts2;
  bool uninstDll = false;
  bool messageFile = false;

  bool Is(Limit kind) const { return limit && limit->kind == kind; }
};

// Each draw its own statement: the order of a medium's draws is fixed.
std::string ModelName(Rng& rng, bool ending) {
  static const Words kStyles = {"KV-", "KV ", "Laser ", "Colour MFP "};
  std::string base = rng.Pick(kStyles);
  base += std::to_string(rng.Range(10, 9990));
  if (rng.Chance(12)) base = Filled(rng, base, kModelWords, rng.Range(30, 110));
  return ending ? base + rng.Pick(kEndings) : base;
}

std::string UniqueModel(Rng& rng, std::string model, Taken& taken) {
  while (!taken.Add(model))
    model = Fit(model, 200) + "-" + std::to_string(rng.Range(2, 99));
  return model;
}

std::string UniquePrinter(const std::string& name, Taken& taken) {
  std::string unique = Fit(name, kPrinterNameLimit);
  for (int n = 2; !taken.Add(unique); ++n) {
    const std::string suffix = " (" + std::to_string(n) + ")";
    unique = Fit(name, kPrinterNameLimit - suffix.size()) + suffix;
  }
  return unique;
}

std::string Address(Rng& rng, const char* net) {
  std::string address = net + std::to_string(rng.Range(0, 255));
  return address + "." + std::to_string(rng.Range(1, 254));
}

void NameDriverFiles(Rng& rng, ModelSet& s) {
  const std::string& t = s.stem;
  s.drvNt = t + ".dll";
  s.confNt = t + "ui.dll";
  s.drv9x = t + ".drv";
  s.data = t + (rng.Chance(50) ? ".ppd" : ".gpd");
  s.help = t + ".hlp";
  s.dependents = rng.Some(
      Words{t + "res.dll", t + "fnt.dat", t + ".icm", t + "lng.dll"}, 0, 3);
  s.inf9x = s.infNt = s.inf2k = s.infXp = t + ".inf";
  if (rng.Chance(40)) {  // an INF of each family's own
    s.inf9x = t + "9x.inf";
    s.infNt = t + "nt.inf";
    s.inf2k = t + "2k.inf";
    s.infXp = t + "xp.inf";
  }
  if (rng.Chance(20)) s.infMe = t + "me.inf";
  if (rng.Chance(50)) s.catalogue = t + ".cat";
  s.entryCommas = rng.Chance(50);
  s.infInWindows = rng.Chance(60);
}

struct MonitorName {
  const char* name;
  const char* dll;
};
const std::vector<MonitorName> kMonitors = {
    {"KORVA Port Monitor", "kvpmon.dll"},
    {"KORVA Language Monitor", "kvlmon.dll"},
    {kKvTcpIpMonitor, "kvtcpmon.dll"},
    {"KORVA Bidi Port", "kvbidi.dll"},
};

std::string PrinterName(Rng& rng, const std::string& product,
                        const std::string& model) {
  const int style = rng.Range(0, 9);
  if (style < 5) return product + " " + model;
  if (style < 7) return model + " (" + rng.Pick(kPlaceWords) + ")";
  if (style < 9)
    return Filled(rng, "KV printer", kPlaceWords, rng.Range(90, 220));
  return model;
}

ModelSet DrawModelSet(Rng& rng, const Choices& c, bool first, Taken& models,
                      Taken& printers) {
  const LimitRow* limit = first ? c.limit : nullptr;
  auto is = [limit](Limit kind) { return limit && limit->kind == kind; };
  ModelSet s;
  s.dir = "medium";
  s.file = s.setupFile = first ? "vt3eins.sii" : "vt3dins.sii";
  s.setupDir = kWindowsDir;
  static const std::vector<size_t> kLengths = {5,  5,  9,  12, 15, 18, 19,
                                               20, 21, 24, 25, 33, 47, 60};
  size_t length = rng.Pick(kLengths);
  if (is(Limit::kProduct)) length = limit->length;
  // The driver-name limits are about that name: the product stays within
  // what installation and removal both read.
  if (is(Limit::kDriverName) || is(Limit::kPlain)) length = 5;
  s.product =
      Filled(rng, first ? "KORVA" : "KORVA Office", kProductWords, length);
  if (!first && rng.Chance(50)) s.product = c.sets[0].product;

  int count = rng.Chance(60)   ? rng.Range(1, 3)
              : rng.Chance(75) ? rng.Range(4, 8)
                               : rng.Range(9, 12);
  if (is(Limit::kModelEndings)) count = static_cast<int>(limit->length);
  if (is(Limit::kPlain) || is(Limit::kDriverName)) count = 1;
  for (int i = 0; i < count; ++i) {
    const bool ending = is(Limit::kModelEndings) || rng.Chance(40);
    std::string model = ModelName(rng, ending && !is(Limit::kPlain));
    if (i == 0 && is(Limit::kDriverName)) {
      const std::string tail = rng.Chance(50) ? rng.Pick(kEndings) : "";
      model =
          Filled(rng, "KV-" + std::to_string(rng.Range(100, 999)), kModelWords,
                 limit->length -
                     std::min(s.product.size(), kInstalledProductLength) - 1 -
                     tail.size()) +
          tail;
    }
    s.models.push_back(UniqueModel(rng, model, models));
    s.devIds.push_back("LPTENUM\\" + DeviceId(rng, s.product, s.models[i]));
  }

  s.stem = rng.Pick(first ? Words{"kvlsr", "kvclr", "kvmfp", "kvpcl"}
                          : Words{"kvoff", "kvofc"});
  if (rng.Chance(15)) s.stem = first ? "korvaprinterdriver" : "korvaofficedrv";
  NameDriverFiles(rng, s);

  const MonitorName& monitor = rng.Pick(kMonitors);
  if (!rng.Chance(10) || is(Limit::kPlain) || is(Limit::kMonitorPrefix)) {
    s.monitor = monitor.name;
    s.monitorDll = monitor.dll;
  }
  if (rng.Chance(80) || is(Limit::kPlain)) {
    const bool lower = rng.Chance(50);
    s.lptFile = lower ? "drivers\\kvlpt.sys" : "drivers\\korvalpt.sys";
    s.lptService = lower ? "kvlpt" : "KorvaLpt";
  }
  if (!first && rng.Chance(50)) {  // the first set's monitor and port driver
    s.monitor = c.sets[0].monitor;
    s.monitorDll = c.sets[0].monitorDll;
    s.lptFile = c.sets[0].lptFile;
    s.lptService = c.sets[0].lptService;
  }
  s.usbId = "VID_0A2C&PID_" + Hex4(rng);
  s.usbDeviceId = DeviceId(rng, s.product, s.models[0]);
  if (rng.Chance(70) || is(Limit::kEverything)) {
    s.usbInf = s.stem + "usb.inf";
    if (rng.Chance(50)) s.usbComInf = s.stem + "com.inf";
  }

  // One printer per model, some models a second one on another port.
  for (size_t i = 0; i < s.models.size(); ++i) {
    const int copies = rng.Chance(20) ? 2 : 1;
    for (int k = 0; k < copies; ++k) {
      PrinterChoice p;
      p.model = i;
      // Over USB only the first model: the USB entry of Windows 9x names
      // the device by it.
      if (i == 0 && k == 0 && rng.Chance(25)) {
        p.port = PortIntent::kUsb;
      } else if (rng.Chance(20)) {
        p.port = PortIntent::kNetwork;
        p.address = Address(rng, "10.4.");
      } else {
        p.port = rng.Chance(15) ? PortIntent::kLpt2 : PortIntent::kLpt1;
      }
      p.name = PrinterName(rng, s.product, s.models[i]) + (k ? " #2" : "");
      p.mediumSuffix = rng.Chance(50);
      s.printers.push_back(p);
    }
  }
  if (is(Limit::kPlain)) {
    s.printers.resize(1);
    s.printers[0].port = PortIntent::kLpt1;
    s.printers[0].name = s.product + " " + s.models[0];
  }
  if (is(Limit::kEverything)) {
    s.printers[0].port = PortIntent::kUsb;
    PrinterChoice net = s.printers.back();
    net.port = PortIntent::kNetwork;
    net.address = Address(rng, "10.5.");
    net.name += " (network)";
    s.printers.push_back(net);
  }
  if (is(Limit::kPrinterName))
    s.printers[0].name = Filled(rng, "KV printer", kPlaceWords, limit->length);
  for (auto& p : s.printers) p.name = UniquePrinter(p.name, printers);
  if (first) s.printers[0].makeDefault = rng.Chance(50);
  return s;
}

struct SecondMaker {
  const char* product;
  const char* model;
  const char* stem;
  const char* monitor;
  const char* monitorDll;
  const char* folder;
};
const std::vector<SecondMaker> kSecondMakers = {
    {"Ostara", "OS-5", "osdrv", "Ostara Port Monitor", "osmon.dll", "ostara"},
    {"Zentec Office", "ZX 410 PS", "zxdrv", "Zentec Bidi Port", "zxbidi.dll",
     "zentec"},
    {"Maplewood", "MW-22", "mwprn", "Maplewood Monitor", "mwmon.dll", "maple"},
    {"Quillon Imaging", "Q-900", "qnprn", "Quillon Port", "qnport.dll",
     "quillon"},
};

// The second maker's product: one model, one printer made the default,
// files of its own names, its own monitor and port driver.
ModelSet DrawSecond(Rng& rng, const Choices& c, Taken& models,
                    Taken& printers) {
  const SecondMaker& m = rng.Pick(kSecondMakers);
  ModelSet s;
  s.ours = false;
  s.dir = "second";
  s.file = std::string(m.folder) + ".sii";
  s.setupDir = std::string("C:\\") + m.folder;
  s.setupFile = s.setupDir + "\\" + s.file;
  s.product = m.product;
  // Now and then a model name of ours: its driver and printer are still
  // the other maker's.
  s.models = {rng.Chance(10) ? c.sets[0].models[0]
                             : UniqueModel(rng, m.model, models)};
  s.devIds = {"LPTENUM\\" + DeviceId(rng, s.product, s.models[0])};
  s.stem = m.stem;
  NameDriverFiles(rng, s);
  s.monitor = m.monitor;
  s.monitorDll = m.monitorDll;
  // A monitor whose name begins with ours: removal must take ours only.
  const std::string& ours = c.sets[0].monitor;
  if (!ours.empty() && (c.Is(Limit::kMonitorPrefix) || rng.Chance(10)))
    s.monitor = ours + " 2";
  if (rng.Chance(60)) {
    s.lptFile = "drivers\\" + s.stem + "lpt.sys";
    s.lptService = s.stem + "lpt";
  }
  PrinterChoice p;
  p.name = UniquePrinter(s.product + " " + s.models[0], printers);
  p.makeDefault = true;
  if (rng.Chance(50)) {
    p.port = PortIntent::kNetwork;
    p.address = Address(rng, "192.168.");
  }
  s.printers = {p};
  return s;
}

Scanner DrawScanner(Rng& rng, const Choices& c) {
  Scanner s;
  const bool all = c.Is(Limit::kEverything), none = c.Is(Limit::kPlain);
  s.files = !none && (all || rng.Chance(35));
  s.lists = !none && (all || rng.Chance(35));
  s.usbScan = all || rng.Chance(50);
  s.header = rng.Pick(Words{"KVS", "KVSCAN", "KV25", "KVIMG"});
  if (rng.Chance(30)) s.header += std::to_string(rng.Range(1, 9));
  s.inf = "kvscn.inf";
  if (rng.Chance(50)) s.catalogue = "kvscn.cat";
  s.preData = s.header + "pref.dat";
  s.userDir =
      rng.Some(Words{"kvscnusr.ini", "kvcalib.dat", "kvscnlog.dat"}, 1, 3);
  s.renameFiles = rng.Some(Words{"kvscnrn1.dll", "kvscnrn2.dll"}, 0, 2);
  if (rng.Chance(50) || all) s.tempDir = "KVTWTMP";
  s.twain = rng.Some(Words{"kvtwain.ds", "kvtwui.dll"}, 1, 2);
  s.system = rng.Some(Words{"kvtwlib.dll", "kvtwcore.dll"}, 0, 2);
  s.user = rng.Some(Words{"kvtwuser.ini"}, 0, 1);
  s.colour = rng.Some(Words{"kvscan.icm"}, 0, 1);
  return s;
}

Choices Draw(uint64_t seed) {
  Rng rng(seed);
  Choices c;
  c.seed = seed;
  if (seed < LimitRows().size()) c.limit = &LimitRows()[seed];
  const bool all = c.Is(Limit::kEverything), none = c.Is(Limit::kPlain);
  Taken models, printers;
  c.sets.push_back(DrawModelSet(rng, c, true, models, printers));
  if (!none && (all || rng.Chance(30)))
    c.sets.push_back(DrawModelSet(rng, c, false, models, printers));
  c.second = DrawSecond(rng, c, models, printers);
  c.scanner = DrawScanner(rng, c);
  if (!none && (all || rng.Chance(35))) {
    c.fonts1 = rng.Some(
        Words{"KVSANS.TTF", "KVSANSB.TTF", "KVSERIF.TTF", "KVMONO.TTF"}, 1, 4);
    if (all || rng.Chance(50))
      c.fonts2 = rng.Some(Words{"KVOCRB.TTF", "KVBAR39.TTF"}, 1, 2);
  }
  c.uninstDll = !none && (all || rng.Chance(70));
  c.messageFile = !none && (all || rng.Chance(50));
  return c;
}

// ---- The medium's files ----------------------------------------------------

class Ini {
 public:
  void Section(const std::string& name) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += "[" + name + "]\r\n";
  }
  void Key(const std::string& key, const std::string& value) {
    text_ += key + "=" + value + "\r\n";
  }
  void Line(const std::string& line) { text_ += line + "\r\n"; }
  void List(const std::string& section, const std::vector<std::string>& lines) {
    Section(section);
    for (const auto& l : lines) Line(l);
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

std::string StandIn(const std::string& name, uint64_t seed) {
  return "stand-in " + name + " of medium " + std::to_string(seed) + "\r\n";
}

// A TrueType file as far as the font table looks at one: the header with
// one table record.
std::string FontFile(const std::string& name) {
  std::string f("\x00\x01\x00\x00\x00\x01\x00\x10\x00\x00\x00\x00", 12);
  return f + "name" + std::string(12, '\0') + name;
}

std::string InfText(const std::string& product,
                    const std::vector<std::string>& files, bool commas,
                    const char* cls) {
  Ini inf;
  inf.Line("; " + product + " " + cls + " driver");
  inf.Section("Version");
  inf.Key("Signature", "\"$Windows NT$\"");
  inf.Key("Class", cls);
  inf.Section("SourceDisksNames");
  inf.Key("1", "\"" + product + " driver disk\",,");
  inf.Section("SourceDisksFiles");
  for (const auto& f : files) inf.Key(f, commas ? "1,," : "1");
  return inf.text();
}

// The keys of our main setup file only: the uninstaller's own files, the
// scanner and its TWAIN lists.
void MainKeys(const Choices& c, Ini& sii) {
  const Scanner& scan = c.scanner;
  if (c.uninstDll) {
    sii.Section("DllName");
    sii.Key("UninstDll", "_kvsup32.dll");
  }
  if (c.messageFile) {
    sii.Section("UninstName");
    sii.Key("UNINST_MSG_DAT", "kvuemsg.dat");
  }
  if (scan.files) {
    sii.List("UserDir", scan.userDir);
    if (!scan.renameFiles.empty()) sii.List("RenameFiles", scan.renameFiles);
  }
  if (!scan.lists) return;
  if (!scan.tempDir.empty()) {
    sii.Section("DestinationDirs");
    sii.Key("TempDir", scan.tempDir);
  }
  const std::pair<const char*, const Words*> lists[] = {
      {"Twain", &scan.twain},
      {"System", &scan.system},
      {"User", &scan.user},
      {"Color", &scan.colour}};
  sii.Section("Sections");
  for (const auto& [key, files] : lists)
    if (!files->empty()) sii.Key(key, std::string("Kv") + key + "Files");
  for (const auto& [key, files] : lists)
    if (!files->empty()) sii.List(std::string("Kv") + key + "Files", *files);
}

std::string SetupText(const Choices& c, const ModelSet& s) {
  const Scanner& scan = c.scanner;
  const bool main = s.ours && s.file == "vt3eins.sii";
  Ini sii;
  sii.Line("; " + s.product + " printers: setup information");
  sii.Section("Initial");
  sii.Key("Product", s.product);
  if (main && (scan.files || scan.lists)) sii.Key("NameHeader", scan.header);
  sii.Section("ModelName");
  sii.Key("nModelNum", std::to_string(s.models.size()));
  for (size_t i = 0; i < s.models.size(); ++i)
    sii.Key("Model" + std::to_string(i + 1), s.models[i]);
  sii.Section("DevID");
  for (size_t i = 0; i < s.models.size(); ++i)
    sii.Key(s.models[i], s.devIds[i]);
  if (s.ours) {
    sii.Section("Model");
    sii.Key("PRNInfFile9x", s.inf9x);
    if (!s.infMe.empty()) sii.Key("PRNInfFileMe", s.infMe);
    sii.Key("PRNInfFileNT", s.infNt);
    sii.Key("PRNInfFile2K", s.inf2k);
    sii.Key("PRNInfFileXP", s.infXp);
    if (!s.catalogue.empty()) {
      sii.Key("PRNCatFile2K", s.catalogue);
      sii.Key("PRNCatFileXP", s.catalogue);
    }
    if (main && scan.files) {
      for (const char* key : {"SCNInfFile9x", "SCNInfFile2K", "SCNInfFileXP"})
        sii.Key(key, scan.inf);
      if (!scan.catalogue.empty()) {
        sii.Key("SCNCatFile2K", scan.catalogue);
        sii.Key("SCNCatFileXP", scan.catalogue);
      }
      sii.Key("SCNPreData", scan.preData);
    }
    if (s.HasUsb() && !s.usbInf.empty()) {
      sii.Key("USBINF", s.usbInf);
      if (!s.usbComInf.empty()) sii.Key("USBComINF", s.usbComInf);
    }
  }
  sii.Section("Install");
  sii.Key("DATATYPE", "RAW");
  sii.Section("Files.Com");
  sii.Key("Lmonn", s.monitor);
  sii.Key("Helpf", s.help);
  for (const std::string family : {"NT", "2K", "9x"}) {
    const bool nt = family != "9x";
    sii.Section("Files." + family);
    if (nt && !s.lptFile.empty()) {
      sii.Key("Lpt" + family, s.lptFile);
      sii.Key("Lpt" + family + "Name", s.lptService);
    }
    sii.Key("Drvf" + family, nt ? s.drvNt : s.drv9x);
    sii.Key("Datf" + family, s.data);
    sii.Key("Conf" + family, nt ? s.confNt : s.drv9x);
    sii.Key("Procn" + family, "NULL");
    sii.Key("Procm" + family, "");
    sii.Key("Lmonm" + family, s.monitorDll);
  }
  // The default-printer line of 9x names the driver as [Devices] does.
  sii.Key("Drcf9x", s.stem);
  sii.Key("USBID", s.usbId);
  sii.Key("DevID", s.usbDeviceId);
  if (main && scan.files && scan.usbScan) sii.Key("USBscan", kUsbScan);
  if (s.HasUsb()) {
    // The device Windows made when the printer was plugged in, and its
    // printing device: removal takes both.
    sii.Section("USBID");
    sii.Key(s.models[0], "USB\\" + s.usbId);
    sii.Section("USBPRINT");
    sii.Key(s.models[0], s.usbDeviceId);
  }
  if (main) MainKeys(c, sii);
  return sii.text();
}

void AddSetFiles(const Choices& c, const ModelSet& s, Medium& m) {
  auto add = [&](const std::string& path, const std::string& content) {
    m.files[s.dir + "/" + path] = content;
  };
  add(s.file, SetupText(c, s));
  std::vector<std::string> all = s.Files(true);
  all.push_back(s.drv9x);
  for (const auto& f : all) add("drivers/" + f, StandIn(f, c.seed));
  if (!s.monitorDll.empty())
    add("system/" + s.monitorDll, StandIn(s.monitorDll, c.seed));
  if (!s.lptFile.empty())
    add("system/" + s.LptName(), StandIn(s.lptFile, c.seed));
  if (!s.ours) return;
  // One INF for every family lists every file; a family's own lists its.
  const bool one = s.inf9x == s.infNt;
  add("kvdrv/" + s.inf9x,
      InfText(s.product, one ? all : s.Files(false), s.entryCommas, "Printer"));
  if (!one) {
    for (const std::string* inf : {&s.infNt, &s.inf2k, &s.infXp})
      add("kvdrv/" + *inf,
          InfText(s.product, s.Files(true), s.entryCommas, "Printer"));
  }
  if (!s.infMe.empty())
    add("kvdrv/" + s.infMe,
        InfText(s.product, s.Files(false), s.entryCommas, "Printer"));
  if (!s.catalogue.empty())
    add("kvdrv/" + s.catalogue, StandIn(s.catalogue, c.seed));
  for (const std::string* usb : {&s.usbInf, &s.usbComInf})
    if (!usb->empty()) add("usb/" + *usb, InfText(s.product, {}, false, "USB"));
}

void AddMediumFiles(const Choices& c, Medium& m) {
  for (const ModelSet& s : c.sets) AddSetFiles(c, s, m);
  AddSetFiles(c, c.second, m);
  auto add = [&](const std::string& path, const std::string& content) {
    m.files["medium/" + path] = content;
  };
  if (c.uninstDll) add("system/_kvsup32.dll", StandIn("_kvsup32.dll", c.seed));
  if (c.messageFile) {
    Ini msg;
    msg.Section("String");
    msg.Key("STR_Reboot_TITLE", c.sets[0].product + " Removal");
    msg.Key("STR_Reboot_1", "Some files are removed at the next start.");
    msg.Key("STR_Reboot_2", "Restart Windows now?");
    add("system/kvuemsg.dat", msg.text());
  }
  const Scanner& scan = c.scanner;
  if (scan.files) {
    Words listed = scan.infFiles;
    if (scan.usbScan) listed.push_back(kUsbScan);
    add("kvdrv/" + scan.inf,
        InfText(c.sets[0].product, listed, false, "Image"));
    if (!scan.catalogue.empty())
      add("kvdrv/" + scan.catalogue, StandIn(scan.catalogue, c.seed));
    Words files = scan.infFiles;
    for (const char* suffix : {"SEL.dll", "SSL.dll", "pref.dat"})
      files.push_back(scan.header + suffix);
    files.insert(files.end(), scan.userDir.begin(), scan.userDir.end());
    files.insert(files.end(), scan.renameFiles.begin(), scan.renameFiles.end());
    for (const auto& f : files) add("scanner/" + f, StandIn(f, c.seed));
  }
  if (scan.lists)
    for (const Words* list :
         {&scan.twain, &scan.system, &scan.user, &scan.colour})
      for (const auto& f : *list) add("twain/" + f, StandIn(f, c.seed));
  for (const auto& [name, list] : {std::make_pair("font1.sii", &c.fonts1),
                                   std::make_pair("font2.sii", &c.fonts2)}) {
    if (list->empty()) continue;
    Ini fonts;
    fonts.Section("FontSections");
    for (size_t i = 0; i < list->size(); ++i) {
      fonts.Key(std::to_string(i + 1), (*list)[i]);
      add("fonts/" + (*list)[i], FontFile((*list)[i]));
    }
    add(name, fonts.text());
  }
}

// ---- The scripts -----------------------------------------------------------

std::string Quote(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

class Script {
 public:
  void Comment(const std::string& text) { text_ += "# " + text + "\n"; }
  void Line(const std::string& line) { text_ += line + "\n"; }
  void Echo(const std::string& text) { text_ += "!echo " + Quote(text) + "\n"; }
  void Copy(const std::string& host, const std::string& win) {
    text_ += "!copy " + Quote(host) + " " + Quote(win) + "\n";
  }
  void Call(const std::string& name, const std::vector<std::string>& args) {
    std::string line = name + "(";
    for (size_t i = 0; i < args.size(); ++i) line += (i ? ", " : "") + args[i];
    text_ += line + ")\n";
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

struct Family {
  explicit Family(const std::string& name)
      : os(name),
        is9x(os == "win95" || os == "win98" || os == "winme"),
        me(os == "winme"),
        nt4(os == "nt40"),
        nt5(!is9x && !nt4) {}

  // Where the spooler takes a new driver's files from.
  std::string DriverFolder() const {
    return is9x ? "%SYSDIR%" : "%SYSDIR%\\spool\\drivers\\w32x86";
  }
  std::string ColourFolder() const {
    return is9x ? "%SYSDIR%\\Color" : "%SYSDIR%\\spool\\drivers\\color";
  }
  // The scanner's per-user data folder; on 9x the TWAIN folder. On the NT
  // family below the installing user's application data folder, wherever
  // the machine keeps it (a Wine prefix has its own).
  std::string UserFolder(const std::string& header) const {
    if (is9x) return TwainFolder(header);
    return "%APPDATA%\\Korva\\ScannerDriver\\" + header;
  }
  std::string TwainFolder(const std::string& header) const {
    return "%WINDIR%\\Twain_32\\" + header + "twn";
  }
  const std::string& PrinterInf(const ModelSet& s) const {
    if (is9x) return me && !s.infMe.empty() ? s.infMe : s.inf9x;
    if (nt4) return s.infNt;
    return os == "win2k" ? s.inf2k : s.infXp;
  }

  std::string os;
  bool is9x, me, nt4;
  bool nt5;  // 2000 and everything later
};

// The port a printer is made on, on this family; `record` gets the port
// record call the installer makes before (empty: none).
std::string PortOf(const Family& f, const ModelSet& s, const PrinterChoice& p,
                   std::string* record) {
  record->clear();
  if (p.port == PortIntent::kLpt2) return "LPT2:";
  if (p.port == PortIntent::kUsb && !f.nt4) return "USB001";
  if (p.port != PortIntent::kNetwork) return "LPT1:";
  if (s.monitor == kKvTcpIpMonitor) {
    *record =
        "KVPortSet(" + Quote("KV_" + p.address) + ", " + Quote(p.address) + ")";
    return "KV_" + p.address;
  }
  if (!f.nt5) return "LPT1:";
  *record = "StdTcpIpPortSet(" + Quote("IP_" + p.address) + ", " +
            Quote(p.address) + ")";
  return "IP_" + p.address;
}

// The set's driver files where the spooler takes them from; ours also in
// the driver store with the INF copy the removal reads.
void StageModelSet(const Family& f, const ModelSet& s, Script& k) {
  const std::string& inf = f.PrinterInf(s);
  k.Echo("-- " + s.file + ": " + s.product + " driver files");
  if (s.ours) {
    k.Copy("medium/kvdrv/" + inf, "%SYSDIR%\\KVDRV\\" + inf);
    if (s.infInWindows && (f.is9x || f.nt4))
      k.Copy("medium/kvdrv/" + inf, "%WINDIR%\\INF\\" + inf);
    if (f.nt5 && !s.catalogue.empty())
      k.Copy("medium/kvdrv/" + s.catalogue, "%SYSDIR%\\KVDRV\\" + s.catalogue);
  }
  for (const auto& file : s.Files(!f.is9x)) {
    if (s.ours) k.Copy("medium/drivers/" + file, "%SYSDIR%\\KVDRV\\" + file);
    k.Copy(s.dir + "/drivers/" + file, f.DriverFolder() + "\\" + file);
  }
  if (!s.monitorDll.empty())
    k.Copy(s.dir + "/system/" + s.monitorDll, "%SYSDIR%\\" + s.monitorDll);
  if (!f.is9x && !s.lptFile.empty())
    k.Copy(s.dir + "/system/" + s.LptName(), "%SYSDIR%\\" + s.lptFile);
  if (s.ours && f.is9x && s.HasUsb()) {
    for (const std::string* usb : {&s.usbInf, &s.usbComInf}) {
      if (usb->empty()) continue;
      k.Copy("medium/usb/" + *usb, "%SYSDIR%\\KVDRV\\" + *usb);
      k.Copy("medium/usb/" + *usb, "%WINDIR%\\INF\\" + *usb);
    }
  }
}

void RegisterPrinters(const Family& f, const ModelSet& s, Medium& m,
                      Script& k) {
  for (const auto& p : s.printers) {
    std::string record;
    const std::string port = PortOf(f, s, p, &record);
    k.Echo("-- printer " + p.name + " on " + port);
    if (!record.empty()) k.Line(record);
    k.Call("DepInit", {});
    for (const auto& dep : s.dependents)
      k.Call("MakeDep", {Quote(dep + (p.mediumSuffix ? "=1" : ""))});
    const bool usb = f.is9x && p.port == PortIntent::kUsb;
    k.Call("ToRegPrinter",
           {Quote(port), Quote(s.models[p.model]), p.makeDefault ? "1" : "0",
            Quote(s.setupDir), Quote(p.name), usb ? "1" : "0",
            Quote(s.setupFile)});
    if (!s.ours) continue;
    m.printers.push_back(p.name);
    const std::string device = "Enum\\USB\\" + s.usbId;
    if (usb && std::find(m.usbDevices.begin(), m.usbDevices.end(), device) ==
                   m.usbDevices.end())
      m.usbDevices.push_back(device);
  }
}

// The scanner's files where its installation puts them; none on NT 4.0,
// whose removal has no scanner part.
void InstallScanner(const Family& f, const Scanner& s, Script& k) {
  if (!s.files || f.nt4) return;
  k.Echo("-- scanner " + s.header);
  k.Copy("medium/kvdrv/" + s.inf, "%SYSDIR%\\KVDRV\\" + s.inf);
  if (f.is9x) k.Copy("medium/kvdrv/" + s.inf, "%WINDIR%\\INF\\" + s.inf);
  if (f.nt5 && !s.catalogue.empty())
    k.Copy("medium/kvdrv/" + s.catalogue, "%SYSDIR%\\KVDRV\\" + s.catalogue);
  const std::string homes[] = {"%SYSDIR%", "%SYSDIR%", f.TwainFolder(s.header),
                               f.ColourFolder()};
  for (size_t i = 0; i < s.infFiles.size(); ++i) {
    k.Copy("medium/scanner/" + s.infFiles[i],
           "%SYSDIR%\\KVDRV\\" + s.infFiles[i]);
    k.Copy("medium/scanner/" + s.infFiles[i], homes[i] + "\\" + s.infFiles[i]);
  }
  for (const char* suffix : {"SEL.dll", "SSL.dll"})
    k.Copy("medium/scanner/" + s.header + suffix,
           "%SYSDIR%\\" + s.header + suffix);
  const std::string data = f.UserFolder(s.header);
  for (const auto& file : s.userDir) {
    k.Copy("medium/scanner/" + file, "%SYSDIR%\\KVDRV\\" + file);
    k.Copy("medium/scanner/" + file, data + "\\" + file);
  }
  for (const auto& file : s.renameFiles)
    k.Copy("medium/scanner/" + file, "%SYSDIR%\\" + file);
  k.Copy("medium/scanner/" + s.preData, data + "\\" + s.preData);
}

void InstallTwainLists(const Family& f, const Scanner& s, Script& k) {
  if (!s.lists) return;
  const std::pair<const Words*, std::string> lists[] = {
      {&s.twain, f.TwainFolder(s.header)},
      {&s.system, "%SYSDIR%"},
      {&s.user, f.UserFolder(s.header)},
      {&s.colour, f.ColourFolder()}};
  k.Echo("-- TWAIN files");
  for (const auto& [files, home] : lists) {
    for (const auto& file : *files) {
      k.Copy("medium/twain/" + file, home + "\\" + file);
      if (!s.tempDir.empty())
        k.Copy("medium/twain/" + file, "%SYSDIR%\\" + s.tempDir + "\\" + file);
    }
  }
}

std::string SecondScript(const Family& f, const Choices& c, Medium& m) {
  Script k;
  k.Comment("The second maker's " + c.second.product +
            " printer, installed before ours through the same library: the "
            "default printer, all of which our removal leaves.");
  k.Copy("second", c.second.setupDir);
  StageModelSet(f, c.second, k);
  RegisterPrinters(f, c.second, m, k);
  return k.text();
}

std::string InstallScript(const Family& f, const Choices& c, Medium& m) {
  Script k;
  k.Comment("Our installation of medium " + std::to_string(c.seed) + " on " +
            f.os + ", in the order an installer makes its calls.");
  k.Copy("medium", kMediumOnMachine);
  k.Echo("-- the setup files the removal reads, in the Windows directory");
  std::vector<std::string> setupFiles;
  for (const auto& s : c.sets) setupFiles.push_back(s.file);
  if (!c.fonts1.empty()) setupFiles.push_back("font1.sii");
  if (!c.fonts2.empty()) setupFiles.push_back("font2.sii");
  const std::string from = Quote(std::string(kMediumOnMachine) + "\\");
  const std::string windows = Quote(std::string(kWindowsDir) + "\\");
  for (const auto& file : setupFiles)
    k.Call("ExpCopy", {from, windows, Quote(file), Quote(file), "0"});
  for (const auto& s : c.sets) StageModelSet(f, s, k);
  if (c.uninstDll)
    k.Copy("medium/system/_kvsup32.dll", "%SYSDIR%\\_kvsup32.dll");
  if (c.messageFile)
    k.Copy("medium/system/kvuemsg.dat", "%SYSDIR%\\kvuemsg.dat");
  for (const auto& s : c.sets) RegisterPrinters(f, s, m, k);
  InstallScanner(f, c.scanner, k);
  InstallTwainLists(f, c.scanner, k);
  if (!c.fonts1.empty()) k.Echo("-- fonts");
  const std::string fonts = std::string(kWindowsDir) + "\\Fonts\\";
  for (const auto* list : {&c.fonts1, &c.fonts2}) {
    for (const auto& font : *list) {
      k.Call("ExpCopy", {Quote(std::string(kMediumOnMachine) + "\\fonts\\"),
                         Quote(fonts), Quote(font), Quote(font), "0"});
      k.Call("ToInstallTTF", {Quote(fonts + font), "0"});
    }
  }
  return k.text();
}

std::string RemoveScript(const Choices& c, const Family& f) {
  Script k;
  k.Comment("The removal of medium " + std::to_string(c.seed) + " on " + f.os +
            ", as the uninstaller calls it; answer the reboot question No "
            "(--answer no), then the next start of Windows.");
  k.Call("UninstInitialize", {"0", "0", "0"});
  k.Call("UninstUnInitialize", {"0", "0", "0"});
  k.Line("!restart");
  return k.text();
}

std::string Summary(const Choices& c) {
  std::string s = "seed " + std::to_string(c.seed) + ":";
  if (c.limit)
    s += std::string(" [") + kLimitNames[static_cast<int>(c.limit->kind)] +
         (c.limit->length ? " " + std::to_string(c.limit->length) : "") + "]";
  for (const auto& set : c.sets)
    s += " " + set.file + " Product \"" + set.product + "\" (" +
         std::to_string(set.product.size()) + "), " +
         std::to_string(set.models.size()) + " model(s), " +
         std::to_string(set.printers.size()) + " printer(s), monitor \"" +
         set.monitor + "\";";
  s += " second maker " + c.second.product;
  if (c.scanner.files) s += ", scanner";
  if (c.scanner.lists) s += ", TWAIN lists";
  if (!c.fonts1.empty()) s += ", fonts";
  return s;
}

// ---- The machine -----------------------------------------------------------

sim::WindowsVersion VersionOf(const std::string& os) {
  sim::WindowsVersion v = sim::WindowsVersion::XP;
  sim::ParseWindowsVersion(os, &v);
  return v;
}

bool WriteKey(sim::SimPlatform& os, const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& values) {
  HKEY key = nullptr;
  if (os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                         KEY_ALL_ACCESS, nullptr, &key, nullptr))
    return false;
  bool ok = true;
  for (const auto& [name, value] : values)
    ok = ok && os.RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)) ==
                   ERROR_SUCCESS;
  os.RegCloseKey(key);
  return ok;
}

// A fresh machine of the family with what every Windows of it has and the
// simulated machine may be laid out without: the TWAIN and colour folders,
// the kernel driver folders, Windows' USB scanner driver, the Standard
// TCP/IP Port monitor of 2000 and XP, the USB root hub of a 9x PC.
bool PrepareMachine(const std::string& name, const std::string& dir,
                    std::string* error) {
  const Family f(name);
  sim::SimPlatform os(VersionOf(name), dir);
  const std::string win = os.windowsDir(), sys = os.systemDir();
  const std::string drivers =
      f.is9x ? win + "\\SYSTEM32\\DRIVERS" : sys + "\\drivers";
  const std::vector<std::string> folders =
      f.is9x
          ? Words{win + "\\TWAIN_32", sys + "\\COLOR", win + "\\SYSTEM32",
                  drivers}
          : Words{win + "\\TWAIN_32", sys + "\\spool\\drivers\\color", drivers};
  for (const auto& folder : folders) {
    if (!os.CreateDirectoryA(folder.c_str(), nullptr) &&
        os.GetLastError() != ERROR_ALREADY_EXISTS) {
      *error = "cannot make " + folder + " on the machine";
      return false;
    }
  }
  bool ok = true;
  if (!f.nt4 && f.os != "win95")
    ok = os.WriteTextFile(drivers + "\\" + kUsbScan, "Windows' own driver");
  if (f.nt5) {
    MONITOR_INFO_2A monitor = {const_cast<LPSTR>("Standard TCP/IP Port"),
                               const_cast<LPSTR>("Windows NT x86"),
                               const_cast<LPSTR>("tcpmon.dll")};
    ok = ok && os.WriteTextFile(sys + "\\tcpmon.dll", "Windows' own monitor") &&
         (os.AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&monitor)) ||
          os.GetLastError() == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) &&
         WriteKey(os,
                  "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\"
                  "Standard TCP/IP Port\\Ports",
                  {});
  }
  if (f.is9x)
    ok =
        ok && WriteKey(os, "Enum\\USB\\ROOT_HUB\\PCI&VEN_8086&DEV_7112&FUNC_02",
                       {{"Class", "USB"}, {"DeviceDesc", "USB Root Hub"}});
  if (!ok || !os.SaveState()) {
    *error = "cannot prepare the machine in " + dir;
    return false;
  }
  return true;
}

}  // namespace

const std::vector<std::string>& Families() {
  static const std::vector<std::string> kFamilies = {
      "nt40",  "win95", "win98", "winme", "win2k",           "winxp",
      "vista", "win7",  "win81", "win10", "win10-nomanifest"};
  return kFamilies;
}

size_t LimitSeedCount() { return LimitRows().size(); }

Medium MakeMedium(uint64_t seed, const std::string& os) {
  const Choices c = Draw(seed);
  const Family f(os);
  Medium m;
  m.seed = seed;
  m.os = os;
  m.secondPrinter = c.second.printers[0].name;
  m.summary = Summary(c);
  AddMediumFiles(c, m);
  m.files["second.kvs"] = SecondScript(f, c, m);
  m.files["install.kvs"] = InstallScript(f, c, m);
  m.files["remove.kvs"] = RemoveScript(c, f);
  return m;
}

bool WriteMedium(const Medium& medium, const std::string& dir,
                 std::string* error) {
  std::error_code ec;
  const fs::path machine = fs::path(dir) / "machine";
  if (fs::exists(machine / "machine.ini", ec)) {
    *error = machine.string() + " holds a machine already";
    return false;
  }
  for (const auto& [path, content] : medium.files) {
    const fs::path target = fs::path(dir) / path;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary);
    if (!(out << content).flush()) {
      *error = "cannot write " + target.string();
      return false;
    }
  }
  fs::create_directories(machine, ec);
  return PrepareMachine(medium.os, machine.string(), error);
}

bool PlugInPrinters(const Medium& medium, const std::string& machineDir,
                    std::string* error) {
  sim::SimPlatform os(VersionOf(medium.os), machineDir);
  if (!os.LoadState()) {
    *error = "no machine saved in " + machineDir;
    return false;
  }
  for (const auto& device : medium.usbDevices) {
    if (!WriteKey(os, device + "\\5&2A6F&0&1",
                  {{"Class", "USB"},
                   {"DeviceDesc", "USB Printing Support"},
                   {"HardwareID", device.substr(5)}})) {
      *error = "cannot write " + device;
      return false;
    }
  }
  if (!os.SaveState()) {
    *error = "cannot save the machine in " + machineDir;
    return false;
  }
  return true;
}

std::string ReplayCommands(const Medium& medium, const std::string& dir,
                           const std::string& toolDir) {
  const std::string tool = toolDir + "/kvsup-medium --seed " +
                           std::to_string(medium.seed) + " --os " + medium.os;
  const std::string host = toolDir + "/kvsup-host --machine " + dir +
                           "/machine --os " + medium.os + " --print-boxes";
  std::string r = tool + " --out " + dir + "\n";
  r += host + " --snapshot " + dir + "/before.snap " + dir + "/second.kvs\n";
  if (!medium.usbDevices.empty())
    r += tool + " --plug-in " + dir + "/machine\n";
  r += host + " " + dir + "/install.kvs\n";
  r += host + " --answer no --snapshot " + dir + "/after.snap " + dir +
       "/remove.kvs\n";
  return r + toolDir + "/kvsup-host --leftovers " + dir + "/before.snap " +
         dir + "/after.snap\n";
}

}  // namespace kv::roundtrip
