# Native build: the same operations on the simulated machine, with the host,
# the tests and the benchmarks.
if(KVSUP_SANITIZE)
  string(REPLACE ";" "," _san "${KVSUP_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()
set(KVSUP_WARNINGS -Wall -Wextra)

add_library(kvsup_core STATIC ${KVSUP_CORE_SOURCES})
target_include_directories(kvsup_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kvsup_core PRIVATE ${KVSUP_WARNINGS})

file(GLOB KVSUP_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
add_library(kvsup_sim STATIC ${KVSUP_SIM_SOURCES})
target_include_directories(kvsup_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kvsup_sim PRIVATE ${KVSUP_WARNINGS})
find_package(Threads REQUIRED)
target_link_libraries(kvsup_sim PUBLIC Threads::Threads)

add_library(kvsup_exports STATIC ${KVSUP_EXPORT_SOURCES})
target_include_directories(kvsup_exports PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(kvsup_exports PUBLIC kvsup_core)
target_compile_options(kvsup_exports PRIVATE ${KVSUP_WARNINGS})

file(GLOB KVSUP_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.cpp)
if(KVSUP_HOST_SOURCES)
add_executable(kvsup-host ${KVSUP_HOST_SOURCES})
target_link_libraries(kvsup-host PRIVATE kvsup_exports kvsup_sim)
target_compile_options(kvsup-host PRIVATE ${KVSUP_WARNINGS})
endif()

enable_testing()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/native/CMakeLists.txt)
  add_subdirectory(tests/native)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/CMakeLists.txt)
  add_subdirectory(tests)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()

# libFuzzer targets (clang only): -DKVSUP_FUZZ=ON; tools/fuzz.sh runs them.
option(KVSUP_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang)" OFF)
if(KVSUP_FUZZ AND EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()
