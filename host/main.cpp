#include "host/host_main.h"

int main(int argc, char** argv) { return kv::host::HostMain(argc, argv); }
