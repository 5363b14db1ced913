# Fails when PROGRAM is larger than BUDGET bytes.
#   cmake -DPROGRAM=extractor.exe -DBUDGET=110592 -P check_size.cmake
file(SIZE "${PROGRAM}" size)
math(EXPR kib "(${size} + 1023) / 1024")
math(EXPR budget_kib "${BUDGET} / 1024")
if(size GREATER BUDGET)
  message(FATAL_ERROR "${PROGRAM} has ${size} bytes (${kib} KiB), past its budget of ${BUDGET} "
                      "bytes (${budget_kib} KiB)")
endif()
message(STATUS "${PROGRAM}: ${size} bytes (${kib} KiB) of ${BUDGET} (${budget_kib} KiB)")
