# Fails when the disassembly of any object in OBJECTS (a ;-list) holds a fused multiply-add.
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND objdump -d --no-show-raw-insn ${object}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${object}")
  endif()
  string(REGEX MATCHALL "vfn?m(add|sub)[a-z0-9]*" fused "${listing}")
  if(fused)
    list(LENGTH fused count)
    message(FATAL_ERROR "${object}: ${count} fused multiply-add instructions")
  endif()
endforeach()
message(STATUS "no fused multiply-add in the float code")
