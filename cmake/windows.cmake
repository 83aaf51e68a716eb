# The product: _KVSUP32.dll, 32-bit, __stdcall exports named by the .def file,
# the C++ runtime linked in so that only system DLLs are imported.
set(KVSUP_SYSTEM_LIBS winspool lz32 shell32 ole32 advapi32 user32 gdi32 kernel32)
set(KVSUP_STATIC_RUNTIME -static-libgcc -static-libstdc++ -static)

add_library(kvsup_core STATIC ${KVSUP_CORE_SOURCES} ${CMAKE_SOURCE_DIR}/foundation/win32_platform.cpp)
target_include_directories(kvsup_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(kvsup_core PRIVATE ${KVSUP_WARNINGS})
target_compile_definitions(kvsup_core PUBLIC WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0400)

add_library(_KVSUP32 SHARED ${KVSUP_EXPORT_SOURCES} ${CMAKE_SOURCE_DIR}/exports/_KVSUP32.def)
set_target_properties(_KVSUP32 PROPERTIES PREFIX "" OUTPUT_NAME "_KVSUP32")
target_link_libraries(_KVSUP32 PRIVATE kvsup_core ${KVSUP_SYSTEM_LIBS})
target_link_options(_KVSUP32 PRIVATE ${KVSUP_STATIC_RUNTIME} -Wl,--enable-stdcall-fixup)
target_compile_options(_KVSUP32 PRIVATE ${KVSUP_WARNINGS})

# The script host as an installer would run it: loads the DLL by name, with
# an installer's manifest (host/kvsup-host.manifest).
enable_language(RC)
add_executable(kvsup-host ${KVSUP_HOST_SOURCES} host/win32_host.cpp host/kvsup-host.rc)
target_include_directories(kvsup-host PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(kvsup-host PRIVATE ${KVSUP_STATIC_RUNTIME})
target_compile_definitions(kvsup-host PRIVATE WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0400)
target_compile_options(kvsup-host PRIVATE ${KVSUP_WARNINGS})
# --snapshot reads the system through Win32Platform, the library's own layer.
target_link_libraries(kvsup-host PRIVATE kvsup_core ${KVSUP_SYSTEM_LIBS})

add_subdirectory(tests/wine)

# The example NSIS installer of the sample printer (examples/nsis), built
# with makensis around this build's DLL and the sample monitor when NSIS is
# installed.
find_program(KVSUP_MAKENSIS makensis)
if(KVSUP_MAKENSIS)
  file(GLOB KVSUP_MEDIUM_FILES ${CMAKE_SOURCE_DIR}/examples/medium/kv.sii
       ${CMAKE_SOURCE_DIR}/examples/medium/drivers/* ${CMAKE_SOURCE_DIR}/examples/medium/kvdrv/*)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/kvsetup.exe
    COMMAND ${KVSUP_MAKENSIS} -V2 -DKVSUP_DLL=$<TARGET_FILE:_KVSUP32>
            -DKVSUP_MONITOR=$<TARGET_FILE:kvtstmon>
            -DKVSUP_MEDIUM=${CMAKE_SOURCE_DIR}/examples/medium
            -DOUTFILE=${CMAKE_BINARY_DIR}/kvsetup.exe
            ${CMAKE_SOURCE_DIR}/examples/nsis/kvsetup.nsi
    DEPENDS ${CMAKE_SOURCE_DIR}/examples/nsis/kvsetup.nsi _KVSUP32 kvtstmon
            ${KVSUP_MEDIUM_FILES}
    COMMENT "Building the example installer kvsetup.exe with makensis")
  add_custom_target(kvsetup ALL DEPENDS ${CMAKE_BINARY_DIR}/kvsetup.exe)
else()
  message(STATUS "makensis not found: the example installer kvsetup.exe is not built")
endif()
