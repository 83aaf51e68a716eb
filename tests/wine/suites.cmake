# The Wine suites, one program <name>_test.cpp each: read by the Windows
# build, which builds them, and by the native build, which runs them.
set(KVSUP_WINE_SUITES dialog foundation monitor ports printer staging uninstall
    uninstall_entries)

# The generated media of the Wine round trip (wine.roundtrip.<version>), by
# kvsup-medium seed. Between them: a Product of 19 (1003), 20 (1019) and 25
# (1014) characters, driver names of 98 (10), 126 (13) and 127 (14),
# printer names of 100 (17) to 207 (4), two model sets (4 5 13 17), the
# scanner (14 1011), the TWAIN lists (5 1014), fonts (1003 1014), our own
# network ports (5) and Standard TCP/IP ones (4 1011 1014). None makes a
# printer of ours the default: removal then moves the default back with the
# driver field of Wine's [Devices] line, "wineps.drv", where registration
# wrote "WINSPOOL" or the 9x driver. None has a printer name over 212
# characters: Wine's ANSI registry calls refuse a key path over 260, so
# removal cannot delete such a printer's key. None at 98 has a USB printer,
# whose device entry Wine cannot make.
set(KVSUP_WINE_ROUNDTRIP_SEEDS_nt40 5 1003)
set(KVSUP_WINE_ROUNDTRIP_SEEDS_win98 14 17 1019)
set(KVSUP_WINE_ROUNDTRIP_SEEDS_win2k 10 1011)
set(KVSUP_WINE_ROUNDTRIP_SEEDS_winxp 4 13 1014)
# One medium each at 7 and 10: fonts, TWAIN lists, both kinds of port.
set(KVSUP_WINE_ROUNDTRIP_SEEDS_win7 1014)
set(KVSUP_WINE_ROUNDTRIP_SEEDS_win10 5)
