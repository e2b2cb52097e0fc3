# cmake -DAREAS=a;b -DFILES=f;g -P CheckTestIncludes.cmake
# Fails when one of FILES includes a header of the application (`ZelvaneMac/<area>/...`) from an
# area not in AREAS: the tests of an area link that area's library only, and an include of a
# floor above it would otherwise pass as long as what it names happens to be inline.
cmake_policy(VERSION 3.25)
set(_bad)
foreach(_file IN LISTS FILES)
  if(NOT EXISTS "${_file}")
    continue()
  endif()
  file(STRINGS "${_file}" _lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"ZelvaneMac/")
  foreach(_line IN LISTS _lines)
    if(_line MATCHES "\"ZelvaneMac/([^/\"]+)/")
      if(NOT CMAKE_MATCH_1 IN_LIST AREAS)
        list(APPEND _bad "${_file}: ${_line}")
      endif()
    endif()
  endforeach()
endforeach()
if(_bad)
  list(JOIN _bad "\n  " _text)
  list(JOIN AREAS ", " _areas)
  message(FATAL_ERROR "These tests may include from ${_areas} only:\n  ${_text}")
endif()
