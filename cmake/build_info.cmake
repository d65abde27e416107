# Writes OUTPUT (a header) with the git commit of SOURCE_DIR: the short hash,
# "+dirty" when tracked files differ from it, or "unknown" outside git (or
# COMMIT when given). Runs at every build; the header is only rewritten when
# its text changes, so an unchanged commit recompiles nothing.
cmake_policy(VERSION 3.25)
set(commit "${COMMIT}")
if(NOT commit)
  set(commit unknown)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND hash)
      set(commit ${hash})
      execute_process(COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no WORKING_DIRECTORY ${SOURCE_DIR}
                      OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(changes)
        string(APPEND commit "+dirty")
      endif()
    endif()
  endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "#pragma once\n#define QUOR_BUILD_COMMIT \"@commit@\"\n#define QUOR_BUILD_TYPE \"@BUILD_TYPE@\"\n" @ONLY)
