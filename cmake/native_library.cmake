# Native build: the window-system-free logic, for unit tests, fuzzers and
# benchmarks. The platform seams (trace channel, ANSI conversion) come from
# the test support library.
add_library(rodavozi_core STATIC ${RODAVOZI_PORTABLE_SOURCES} module/state.cpp)
target_include_directories(rodavozi_core PUBLIC ${RODAVOZI_INCLUDE_DIRS})
target_link_libraries(rodavozi_core PUBLIC rodavozi_warnings)
