# Compiles SRC twice with the compiler's format warnings as errors: as written it must compile,
# and with WRONG_ARGUMENT defined it must fail on the format.
foreach(variant right wrong)
  set(defs "")
  if(variant STREQUAL "wrong")
    set(defs -DWRONG_ARGUMENT)
  endif()
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -Werror=format -I${INC} ${defs} ${SRC}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(variant STREQUAL "right" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "The matching call does not compile:\n${err}")
  endif()
  if(variant STREQUAL "wrong" AND (rc EQUAL 0 OR NOT err MATCHES "format"))
    message(FATAL_ERROR "A call whose argument does not match its format compiled:\n${err}")
  endif()
endforeach()
