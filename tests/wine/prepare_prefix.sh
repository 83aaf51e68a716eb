# Sourced by the Wine checks of generated media (needs $version).
# What every Windows of the family has and a fresh prefix lacks, as the
# generator prepares its simulated machine: the 9x colour folder below the
# system directory, Windows' own USB scanner driver (which the scanner's INF
# lists and removal must leave), and from 2000 on the port list of the
# Standard TCP/IP Port monitor, where our network ports' records go.
prepare_prefix() {
  local system=$1/drive_c/windows/system32
  case "$version" in
    win95 | win98 | winme) mkdir -p "$system/color" ;;
  esac
  case "$version" in
    nt40 | win95) ;;
    *) [ -f "$system/drivers/usbscan.sys" ] ||
      echo "Windows' own driver" >"$system/drivers/usbscan.sys" ;;
  esac
  case "$version" in
    win2k | winxp | vista | win7 | win81 | win10)
      WINEPREFIX=$1 wine reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports' /f &&
        WINEPREFIX=$1 wineserver -w ;;
  esac
}
