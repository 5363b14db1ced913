# Fails when PROGRAM imports from a library the loader could take from the
# program's own folder: only kernel32, user32 and gdi32 may appear in its
# import table, not even the C runtime, which the loader binds before the
# program can restrict the search; everything else is loaded from the system
# folder at run time.
#   cmake -DPROGRAM=extractor.exe -DOBJDUMP=objdump -P check_imports.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
if(NOT names)
  message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
foreach(entry ${names})
  string(REPLACE "DLL Name: " "" library "${entry}")
  string(TOLOWER "${library}" library)
  if(NOT library MATCHES "^(kernel32|user32|gdi32)\\.dll$")
    message(FATAL_ERROR "${PROGRAM} imports ${library}")
  endif()
  message(STATUS "imports ${library}")
endforeach()
