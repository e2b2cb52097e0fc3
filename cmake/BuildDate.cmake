# cmake -DSOURCE_DIR=... -DOUTPUT=... -P BuildDate.cmake
# Writes OUTPUT with the build date as yyyyMMdd (UTC): SOURCE_DATE_EPOCH when set, else the date of
# the checked-out commit, else today. The file is only replaced when the date changes, so nothing
# recompiles on an ordinary build.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE _ct OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _rc ERROR_QUIET)
    if(_rc EQUAL 0 AND _ct MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${_ct})
    endif()
  endif()
endif()
string(TIMESTAMP _date "%Y%m%d" UTC)
set(_content "#pragma once\n#define ZELVANE_BUILD_DATE \"${_date}\"\n")
file(WRITE ${OUTPUT}.tmp "${_content}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
