# A second vormeth beside a running one exits 255 at once, saying why in one
# line on standard error, and leaves the log untouched.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{VRMT_APPDATA} ${WORK}/appdata)
set(ENV{VRMT_LOCK_DIR} ${WORK}/lock)
set(ENV{VRMT_REGISTRY_FILE} ${WORK}/none.reg)
# The first one (stopped on its start-up error: no docs folder) waits for the
# user's close; the second starts once the first has logged its error, and the
# first is closed when the second has gone.
execute_process(
  COMMAND sh -c "echo $$ > first.pid; exec timeout --preserve-status -s TERM 60 ${VORMETH}"
  COMMAND sh -c "i=0; until grep -q 'Exiting: SYSTEM ERROR' Log.txt 2>/dev/null || [ $i -gt 600 ]; do i=$((i + 1)); sleep 0.05; done; cp Log.txt first.txt; ${VORMETH} 2> second.err; echo $? > second.rc; cp Log.txt after.txt; ls Log0.txt 2>/dev/null > log0.txt; kill -TERM $(cat first.pid)"
  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rcs)
file(READ ${WORK}/second.rc rc)
string(STRIP "${rc}" rc)
if(NOT rc EQUAL 255)
  message(FATAL_ERROR "the second instance exited with ${rc}")
endif()
file(READ ${WORK}/second.err err)
if(NOT err STREQUAL "vormeth is already running\n")
  message(FATAL_ERROR "the second instance said on standard error:\n'${err}'")
endif()
file(READ ${WORK}/first.txt before)
file(READ ${WORK}/after.txt after)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "the second instance changed Log.txt:\n${before}\n---\n${after}")
endif()
file(READ ${WORK}/log0.txt log0)
if(NOT log0 STREQUAL "")
  message(FATAL_ERROR "the second instance rotated the log")
endif()
