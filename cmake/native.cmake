# Native build: the same operations on the simulated machine, with the host,
# the tests and the benchmarks.
if(KVSUP_SANITIZE)
  string(REPLACE ";" "," _san "${KVSUP_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

add_library(kvsup_core STATIC ${KVSUP_CORE_SOURCES})
target_include_directories(kvsup_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kvsup_core PRIVATE ${KVSUP_WARNINGS})

# The simulated Windows machine, one file per area of the system.
set(KVSUP_SIM_SOURCES
  sim/drive.cpp sim/file_handles.cpp sim/file_ops.cpp sim/file_paths.cpp sim/host_files.cpp
  sim/file_search.cpp sim/fonts.cpp sim/lz.cpp sim/monitors.cpp sim/pending.cpp
  sim/ports.cpp sim/printer_drivers.cpp sim/printers.cpp sim/processes.cpp
  sim/profile.cpp sim/regfile.cpp sim/registry.cpp sim/registry_values.cpp
  sim/services.cpp sim/sfc.cpp sim/shell.cpp sim/spooler_records.cpp sim/system.cpp
  sim/next_start.cpp sim/szdd.cpp sim/threads.cpp sim/windows.cpp)
add_library(kvsup_sim STATIC ${KVSUP_SIM_SOURCES})
target_include_directories(kvsup_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kvsup_sim PRIVATE ${KVSUP_WARNINGS})
find_package(Threads REQUIRED)
target_link_libraries(kvsup_sim PUBLIC Threads::Threads)

add_library(kvsup_exports STATIC ${KVSUP_EXPORT_SOURCES})
target_include_directories(kvsup_exports PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(kvsup_exports PUBLIC kvsup_core)
target_compile_options(kvsup_exports PRIVATE ${KVSUP_WARNINGS})

add_executable(kvsup-host ${KVSUP_HOST_SOURCES} host/native_exports.cpp host/native_host.cpp
  host/capture_load.cpp)
target_link_libraries(kvsup-host PRIVATE kvsup_exports kvsup_sim)
target_compile_options(kvsup-host PRIVATE ${KVSUP_WARNINGS})

enable_testing()
add_subdirectory(tests/native)
add_subdirectory(tests)
add_subdirectory(bench)

# libFuzzer targets (clang only): -DKVSUP_FUZZ=ON; tools/fuzz.sh runs them.
option(KVSUP_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang)" OFF)
if(KVSUP_FUZZ)
  add_subdirectory(fuzz)
endif()
