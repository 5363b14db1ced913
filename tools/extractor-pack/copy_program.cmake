# Copies the first of CANDIDATES that exists to TARGET; with none, leaves
# TARGET as it is (the packer then asks for --stub).
foreach(candidate IN LISTS CANDIDATES)
  if(EXISTS "${candidate}")
    execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${candidate}" "${TARGET}")
    return()
  endif()
endforeach()
