# rodavozi_tool_resources(<target> <icon kind> <description>
#                         [JAPANESE <description in Japanese>]
#                         [STRINGS <tool>_strings.inc]):
# a tool's icon (made at build time by make_icon.py, one look per tool and
# architecture), its manifest (asInvoker, per-monitor DPI aware v2), its
# version information in English and Japanese, and the string tables of its
# STRINGS file (see tool_strings.h; the target then links rodavozi_tool_strings).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(rodavozi_tool_resources target kind description)
    cmake_parse_arguments(PARSE_ARGV 3 ARG "" "JAPANESE;STRINGS" "")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(TOOL_ARCH x86)
    else()
        set(TOOL_ARCH x64)
    endif()
    set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    set(TOOL_NAME ${target})
    set(TOOL_DESCRIPTION ${description})
    set(TOOL_DESCRIPTION_JA ${description})
    if(ARG_JAPANESE)
        set(TOOL_DESCRIPTION_JA ${ARG_JAPANESE})
    endif()
    set(TOOL_HAS_STRINGS 0)
    set(TOOL_STRINGS "")
    set(depends "")
    if(ARG_STRINGS)
        set(TOOL_HAS_STRINGS 1)
        get_filename_component(TOOL_STRINGS ${ARG_STRINGS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        set(depends ${TOOL_STRINGS})
    endif()
    set(TOOL_ICON ${CMAKE_CURRENT_BINARY_DIR}/${target}.ico)
    set(TOOL_MANIFEST ${dir}/tool.manifest)
    add_custom_command(OUTPUT ${TOOL_ICON}
        COMMAND ${Python3_EXECUTABLE} ${dir}/make_icon.py ${TOOL_ICON} ${kind} ${TOOL_ARCH}
        DEPENDS ${dir}/make_icon.py
        COMMENT "Icon of ${target} (${TOOL_ARCH})")
    configure_file(${dir}/tool.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
        OBJECT_DEPENDS "${TOOL_ICON};${TOOL_MANIFEST};${depends}")
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc ${TOOL_ICON})
endfunction()
