# zelvane_library(NAME [DIR dir] [LINK libs...] [PRIVATE libs...]): a library (shared where the
# tests are built, static otherwise: ZELVANE_LIBRARY_TYPE) of every .cpp and .hpp below DIR (the
# current folder by default), subfolders included, so a new folder is never dropped silently. `Sources/` is the one include root: an include line names library and folder.
function(zelvane_library name)
  cmake_parse_arguments(ARG "" "DIR" "LINK;PRIVATE" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB_RECURSE _src CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.hpp)
  list(FILTER _src INCLUDE REGEX "\\.cpp$")
  if(NOT _src)
    # A folder that has no sources yet still gives a target to link against.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/Sources)
    target_link_libraries(${name} INTERFACE ${ARG_LINK} ${ARG_PRIVATE})
    return()
  endif()
  file(GLOB_RECURSE _src CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.hpp)
  add_library(${name} ${ZELVANE_LIBRARY_TYPE} ${_src})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/Sources)
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
  if(ARG_PRIVATE)
    target_link_libraries(${name} PRIVATE ${ARG_PRIVATE})
  endif()
endfunction()

# zelvane_tests([DIR dir] LINK libs... [FOLD program] [TSAN programs...] [SERIAL programs...]
#               [INCLUDES areas...]):
# one GoogleTest program per *Tests.cpp of DIR (the current folder by default), each linked with
# the shared test support (Tests/Support) and LINK.
# With FOLD, the files not named under TSAN or SERIAL are compiled into the one program named
# there instead: one link and one start-up for the whole folder. Each such file keeps a build
# target of its own name that builds that program; the tests keep their names, so `ctest -R` and
# `--gtest_filter` pick them as before.
# Programs named under TSAN (file names without ".cpp") are labelled "tsan" and run again in the
# ThreadSanitizer build; a name that matches no program of the folder stops the configure step.
# Programs named under SERIAL run their tests while no other test runs.
# Helpers of the folder (every other .cpp) are compiled once, into a library the programs share.
# With INCLUDES, a program may include from the application (`ZelvaneMac/<area>/...`) only the
# areas named: the check runs before each link, so a test that reaches above its floor stops the
# build even where the code it names is inline.
function(zelvane_tests)
  cmake_parse_arguments(ARG "" "DIR;FOLD" "LINK;TSAN;SERIAL;INCLUDES" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB _tests CONFIGURE_DEPENDS ${ARG_DIR}/*Tests.cpp)
  file(GLOB _all CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  file(GLOB _headers CONFIGURE_DEPENDS ${ARG_DIR}/*.hpp)
  set(_support ${_all})
  if(_tests)
    list(REMOVE_ITEM _support ${_tests})
  endif()
  set(_names)
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    list(APPEND _names ${_name})
  endforeach()
  foreach(_labelled ${ARG_TSAN})
    if(NOT _labelled IN_LIST _names)
      message(FATAL_ERROR "zelvane_tests: no test program ${_labelled} in ${ARG_DIR} to run under ThreadSanitizer")
    endif()
  endforeach()
  set(_helpers)
  if(_support)
    file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR}/Tests ${ARG_DIR})
    string(REPLACE "/" "" _helpers "${_rel}TestHelpers")
    add_library(${_helpers} STATIC ${_support})
    target_include_directories(${_helpers} PUBLIC ${ARG_DIR} ${CMAKE_SOURCE_DIR}/Tests)
    target_link_libraries(${_helpers} PUBLIC ${ARG_LINK} ZelvaneTestSupport GTest::gtest)
  endif()
  # Program name -> its files.
  set(_programs)
  set(_folded)
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    if(ARG_FOLD AND NOT _name IN_LIST ARG_TSAN AND NOT _name IN_LIST ARG_SERIAL)
      list(APPEND _folded ${_name})
      list(APPEND _files_${ARG_FOLD} ${_t})
    else()
      list(APPEND _programs ${_name})
      set(_files_${_name} ${_t})
    endif()
  endforeach()
  if(_folded)
    list(APPEND _programs ${ARG_FOLD})
  endif()
  foreach(_name ${_programs})
    add_executable(${_name} ${_files_${_name}})
    target_include_directories(${_name} PRIVATE ${ARG_DIR} ${CMAKE_SOURCE_DIR}/Tests)
    target_link_libraries(${_name} PRIVATE ${_helpers} ${ARG_LINK} ZelvaneTestSupport GTest::gtest GTest::gtest_main GTest::gmock)
    if(ARG_INCLUDES)
      add_custom_command(TARGET ${_name} PRE_LINK
        COMMAND ${CMAKE_COMMAND} "-DAREAS=${ARG_INCLUDES}" "-DFILES=${_files_${_name}};${_headers}"
                -P ${CMAKE_SOURCE_DIR}/cmake/CheckTestIncludes.cmake
        VERBATIM)
    endif()
    if(_name IN_LIST ARG_TSAN)
      add_dependencies(tsan-tests ${_name})
      set(_props LABELS tsan TIMEOUT 600)
    else()
      set(_props TIMEOUT 600)
    endif()
    if(_name IN_LIST ARG_SERIAL)
      list(APPEND _props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
  endforeach()
  foreach(_name ${_folded})
    add_custom_target(${_name})
    add_dependencies(${_name} ${ARG_FOLD})
  endforeach()
endfunction()
