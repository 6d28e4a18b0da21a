# Windows build (i686 or x86_64 mingw-w64): the core as a static library and
# RODAVOZI.DLL around it.
enable_language(RC)

add_compile_options(-fno-exceptions -fno-rtti)

add_library(rodavozi_core STATIC
    ${RODAVOZI_PORTABLE_SOURCES}
    module/byte_classes_win.cpp
    module/ansi_text_win.cpp
    module/working_code_page_win.cpp
    module/window_form_win.cpp
    module/trace.cpp
    reconvert/control_units.cpp
    reconvert/edit_text_source.cpp
    reconvert/edit_lines_win.cpp
    hook/subclass_record.cpp
    hook/pass_on_guard.cpp
    hook/other_copy.cpp
    hook/module_pin.cpp
    hook/subclass_proc.cpp
    hook/document_feed.cpp
    hook/hook_control.cpp
    hook/call_wnd_hook.cpp
)
target_include_directories(rodavozi_core PUBLIC ${RODAVOZI_INCLUDE_DIRS})
target_link_libraries(rodavozi_core PUBLIC rodavozi_warnings user32 imm32 kernel32)

# The state records as ordinary process data, for tests that link the core.
add_library(rodavozi_state_private STATIC module/state.cpp)
target_include_directories(rodavozi_state_private PUBLIC ${RODAVOZI_INCLUDE_DIRS})
target_link_libraries(rodavozi_state_private PRIVATE rodavozi_warnings)

# Exported names carry no stdcall decoration; on x86 the import library maps
# the decorated names that callers' compilers produce to them.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(EXPORT_SUFFIX_0 "@0")
    set(EXPORT_SUFFIX_4 "@4")
    set(EXPORT_SUFFIX_24 "@24")
    set(RODAVOZI_ARCH x86)
    set(RODAVOZI_DLLTOOL_MACHINE i386)
else()
    set(EXPORT_SUFFIX_0 "")
    set(EXPORT_SUFFIX_4 "")
    set(EXPORT_SUFFIX_24 "")
    set(RODAVOZI_ARCH x64)
    set(RODAVOZI_DLLTOOL_MACHINE i386:x86-64)
endif()
configure_file(module/exports.def.in ${CMAKE_CURRENT_BINARY_DIR}/RODAVOZI.def @ONLY)

# The state records of the DLL, with the shared record in its own section.
add_library(rodavozi_state_shared OBJECT module/state.cpp)
target_include_directories(rodavozi_state_shared PRIVATE ${RODAVOZI_INCLUDE_DIRS})
target_compile_definitions(rodavozi_state_shared PRIVATE RODAVOZI_SHARED_SECTION=1)
target_link_libraries(rodavozi_state_shared PRIVATE rodavozi_warnings)

add_library(rodavozi SHARED
    module/dllmain.cpp
    module/version.rc
    ${CMAKE_CURRENT_BINARY_DIR}/RODAVOZI.def
    $<TARGET_OBJECTS:rodavozi_state_shared>
)
# The whole core goes in: the subclass procedure is reached only through the
# hook at run time, and the DLL must carry it (and its IMM32 calls) whatever
# the hook's code refers to at link time.
target_link_libraries(rodavozi PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,rodavozi_core>" rodavozi_warnings)
set_target_properties(rodavozi PROPERTIES
    OUTPUT_NAME RODAVOZI PREFIX "" SUFFIX ".DLL"
    IMPORT_PREFIX "" IMPORT_SUFFIX ".lib"
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_link_options(rodavozi PRIVATE -static -s -Wl,--kill-at
    -Wl,--enable-stdcall-fixup)

# The import library maps the names that callers' compilers produce (on x86
# decorated with the argument size) to the undecorated exports. LLVM's dlltool
# writes it in the short import format, which MSVC's linker takes as well as
# GNU ld (GNU dlltool's objects fail MSVC's x86 link with /SAFESEH).
find_program(RODAVOZI_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(RODAVOZI_IMPORT_LIB ${CMAKE_BINARY_DIR}/lib/RODAVOZI.lib)
add_custom_command(TARGET rodavozi POST_BUILD
    COMMAND ${RODAVOZI_LLVM_DLLTOOL} -m ${RODAVOZI_DLLTOOL_MACHINE} -k
            -d ${CMAKE_CURRENT_BINARY_DIR}/RODAVOZI.def -D RODAVOZI.DLL -l ${RODAVOZI_IMPORT_LIB}
    COMMENT "Import library RODAVOZI.lib (short import format)")

# install() rules and the exported package for hosts.
include(${CMAKE_CURRENT_LIST_DIR}/install.cmake)
