# zelvane_library(NAME DIR [LINK libs...]): a static library of every .cpp in DIR
# (an interface library while the folder has no sources yet).
function(zelvane_library name)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_src)
    add_library(${name} STATIC ${_src})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
  endif()
endfunction()

# zelvane_tests(LINK libs...): one GoogleTest program per *Tests.cpp of the current folder.
# Files that mention ThreadSanitizer are labelled "tsan" and run again in the TSan build.
# Shared helpers of the folder (every other .cpp) are linked into each program.
function(zelvane_tests)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Tests.cpp)
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_support ${_all})
  if(_tests)
    list(REMOVE_ITEM _support ${_tests})
  endif()
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    add_executable(${_name} ${_t} ${_support})
    target_include_directories(${_name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/Tests)
    target_link_libraries(${_name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main GTest::gmock)
    file(STRINGS ${_t} _tsan REGEX "ThreadSanitizer")
    # One label per test: gtest_discover_tests flattens a list value into separate arguments,
    # so a second label would be taken for a property name and `ctest -L tsan` would find none.
    set(_labels unit)
    if(_tsan)
      set(_labels tsan)
      add_dependencies(tsan-tests ${_name})
    endif()
    gtest_discover_tests(${_name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${_labels}" TIMEOUT 600)
  endforeach()
endfunction()
