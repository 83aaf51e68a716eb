// The host's code, built into the test program: every host source except
// main.cpp (which only forwards to HostMain), so the tests run the same code
// path as kvsup-host itself.
#include "host/export_table.cpp"
#include "host/native_exports.cpp"
#include "host/native_host.cpp"
#include "host/runner.cpp"
#include "host/script.cpp"
