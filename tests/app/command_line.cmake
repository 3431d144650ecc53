# The program's command line from the outside, one row a call: the exit status,
# what it printed, and that nothing started (no Log.txt). A row that would
# start the program ends on the time-out.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{VRMT_APPDATA} ${WORK}/appdata)
set(ENV{VRMT_LOCK_DIR} ${WORK}/lock)
set(ENV{VRMT_REGISTRY_FILE} ${WORK}/none.reg)
set(usage "usage: vormeth \\[--headless\\] \\[--status-every N\\]\n.*  --help  ")
# name | arguments (,-separated) | exit status | stdout | stderr (regular expressions, whole text)
set(rows
  "help|--help|0|^${usage}[^\n]*\n$|^$"
  "help after an option|--headless,--help|0|^${usage}[^\n]*\n$|^$"
  "version|--version|0|^Vormeth [0-9]+\\.[0-9]+\\.[0-9]+\n$|^$"
  "an unknown option|--nonsense|2|^$|^vormeth: unknown option '--nonsense'\n${usage}"
  "status every without its number|--status-every|2|^$|^vormeth: --status-every needs a number of seconds\n${usage}"
  "status every zero|--status-every,0|2|^$|^vormeth: --status-every needs a whole number of seconds from 1 to 86400, not '0'\n${usage}"
  "status every no number|--headless,--status-every,soon|2|^$|^vormeth: --status-every needs a whole number of seconds from 1 to 86400, not 'soon'\n${usage}")
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 args)
  list(GET fields 2 status)
  list(GET fields 3 out)
  list(GET fields 4 err)
  string(REPLACE "," ";" args "${args}")
  execute_process(COMMAND ${VORMETH} ${args} WORKING_DIRECTORY ${WORK} TIMEOUT 10
                  RESULT_VARIABLE rc OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
  if(NOT rc STREQUAL status)
    message(SEND_ERROR "${name}: exit status '${rc}', not ${status}\nstdout: ${stdout}\nstderr: ${stderr}")
  endif()
  if(NOT stdout MATCHES "${out}")
    message(SEND_ERROR "${name}: standard output\n${stdout}\ndoes not match\n${out}")
  endif()
  if(NOT stderr MATCHES "${err}")
    message(SEND_ERROR "${name}: standard error\n${stderr}\ndoes not match\n${err}")
  endif()
  if(EXISTS ${WORK}/Log.txt)
    message(SEND_ERROR "${name}: the program started (it wrote Log.txt)")
    file(REMOVE ${WORK}/Log.txt)
  endif()
endforeach()
