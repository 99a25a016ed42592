# Windows build: one self-contained avdefupdate.exe (no compiler runtime
# DLLs), with a version resource and an application manifest.
enable_language(RC)

# Windows 7 is the oldest system the backend's calls are resolved against.
target_compile_definitions(os_backend PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601)
target_link_libraries(os_backend PUBLIC
  advapi32 shell32 user32 version ole32 oleaut32 uuid wbemuuid wininet urlmon winhttp wintrust)

# No console window: the agent runs unattended.
add_link_options(-static -static-libgcc -static-libstdc++ -mwindows)

# FILEVERSION wants "a,b,c,d".
string(REPLACE "." "," AVDEF_FILE_VERSION_COMMAS "${AVDEF_FILE_VERSION}")
set(AVDEF_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/avdefupdate.manifest")
configure_file(${CMAKE_CURRENT_LIST_DIR}/win32/avdefupdate.manifest ${AVDEF_MANIFEST} COPYONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/win32/avdefupdate.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/avdefupdate.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/avdefupdate.rc
                            PROPERTIES OBJECT_DEPENDS ${AVDEF_MANIFEST})

# The executable is defined after this file is read.
cmake_language(DEFER CALL target_sources avdefupdate PRIVATE
               ${CMAKE_CURRENT_BINARY_DIR}/avdefupdate.rc)
