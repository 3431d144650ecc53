# vrmt-encrypt as a user runs it: encrypt, decrypt back to the same bytes, and
# refuse a cut, edited or foreign copy without writing an output.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run expected)
  execute_process(COMMAND ${TOOL} ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL expected)
    message(FATAL_ERROR "vrmt-encrypt ${ARGN}: exit ${rc}, expected ${expected}\n${err}")
  endif()
endfunction()

function(expect_same a b)
  file(SHA256 ${a} ha)
  file(SHA256 ${b} hb)
  if(NOT ha STREQUAL hb)
    message(FATAL_ERROR "${a} and ${b} differ")
  endif()
endfunction()

run(0 ${PLAIN} dbase.enc)
run(0 --decrypt dbase.enc back.xml)
expect_same(${PLAIN} ${WORK}/back.xml)
# The build's own demo file holds the same text.
run(0 --decrypt ${BUILT} built.xml)
expect_same(${PLAIN} ${WORK}/built.xml)

# A copy cut short, one with a changed byte, one with bytes after its end
# (made with coreutils: CMake writes no binary bytes).
file(COPY_FILE ${WORK}/dbase.enc ${WORK}/cut.enc)
execute_process(COMMAND truncate -s -40 cut.enc WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc1)
file(COPY_FILE ${WORK}/dbase.enc ${WORK}/edited.enc)
execute_process(COMMAND dd of=edited.enc bs=1 seek=100 count=8 conv=notrunc status=none INPUT_FILE ${PLAIN}
                        WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc2)
execute_process(COMMAND ${CMAKE_COMMAND} -E cat dbase.enc ${PLAIN} OUTPUT_FILE longer.enc WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc3)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT rc3 EQUAL 0)
  message(FATAL_ERROR "could not make the damaged copies")
endif()
foreach(name cut edited longer)
  run(1 --decrypt ${name}.enc ${name}.xml)
  if(EXISTS ${WORK}/${name}.xml OR EXISTS ${WORK}/${name}.xml.tmp)
    message(FATAL_ERROR "the refused ${name} copy left an output")
  endif()
endforeach()

# Another key: its file is refused with the built-in one, read with its own.
set(key 00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff)
run(0 --key ${key} ${PLAIN} other.enc)
run(1 --decrypt other.enc other.xml)
run(0 --key ${key} --decrypt other.enc other.xml)
expect_same(${PLAIN} ${WORK}/other.xml)

# Wrong arguments.
run(2)
run(2 --key 1234 ${PLAIN} x.enc)
run(2 --bogus ${PLAIN} x.enc)
run(0 --help)
run(1 missing.xml x.enc)
