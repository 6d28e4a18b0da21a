# Install rules and the exported CMake package for hosts (Windows builds).
#
# One prefix per architecture:
#   bin/                  RODAVOZI.DLL, tracewin.exe, reconvhost.exe
#   lib/                  RODAVOZI.lib (the import library)
#   include/              rodavozi.h
#   lib/cmake/Rodavozi/   RodavoziConfig.cmake, its version file, the targets
#
# A host project: find_package(Rodavozi) with the prefix on CMAKE_PREFIX_PATH,
# then target_link_libraries(host PRIVATE Rodavozi::Rodavozi). The package
# refuses a prefix of the other architecture.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RODAVOZI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Rodavozi)

# Hosts compile against the installed header; the DLL itself takes its
# includes from the core, privately.
target_include_directories(rodavozi INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(rodavozi PROPERTIES EXPORT_NAME Rodavozi)

# ARCHIVE is the import library that llvm-dlltool writes over the linker's
# after the link (windows_library.cmake), so the decorated x86 names resolve
# to the undecorated exports and MSVC's linker takes it too.
install(TARGETS rodavozi EXPORT RodavoziTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/rodavozi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT RodavoziTargets NAMESPACE Rodavozi:: DESTINATION ${RODAVOZI_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/RodavoziConfig.cmake.in
    ${CMAKE_BINARY_DIR}/RodavoziConfig.cmake
    INSTALL_DESTINATION ${RODAVOZI_CMAKE_DIR}
    PATH_VARS CMAKE_INSTALL_BINDIR)
# Same major version; the pointer size must match (not ARCH_INDEPENDENT).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/RodavoziConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/RodavoziConfig.cmake ${CMAKE_BINARY_DIR}/RodavoziConfigVersion.cmake
    DESTINATION ${RODAVOZI_CMAKE_DIR})

# The viewer and the resident host go next to the DLL (the host loads it from
# its own folder). Their targets are defined after this file is included, so
# the rule is added once the top-level directory has been read.
function(rodavozi_install_tools)
    install(TARGETS tracewin reconvhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL rodavozi_install_tools)
