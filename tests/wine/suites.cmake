# The Wine suites, one program <name>_test.cpp each: read by the Windows
# build, which builds them, and by the native build, which runs them.
set(KVSUP_WINE_SUITES dialog foundation monitor ports printer staging uninstall
    uninstall_entries)
