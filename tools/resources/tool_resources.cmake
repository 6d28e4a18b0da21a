# rodavozi_tool_resources(<target> <icon kind> <description>): a tool's icon
# (made at build time by make_icon.py, one look per tool and architecture),
# its manifest (asInvoker, per-monitor DPI aware v2) and version information.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(rodavozi_tool_resources target kind description)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(TOOL_ARCH x86)
    else()
        set(TOOL_ARCH x64)
    endif()
    set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    set(TOOL_NAME ${target})
    set(TOOL_DESCRIPTION ${description})
    set(TOOL_ICON ${CMAKE_CURRENT_BINARY_DIR}/${target}.ico)
    set(TOOL_MANIFEST ${dir}/tool.manifest)
    add_custom_command(OUTPUT ${TOOL_ICON}
        COMMAND ${Python3_EXECUTABLE} ${dir}/make_icon.py ${TOOL_ICON} ${kind} ${TOOL_ARCH}
        DEPENDS ${dir}/make_icon.py
        COMMENT "Icon of ${target} (${TOOL_ARCH})")
    configure_file(${dir}/tool.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
        OBJECT_DEPENDS "${TOOL_ICON};${TOOL_MANIFEST}")
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc ${TOOL_ICON})
endfunction()
