# Runs vormeth three times in a program folder without "docs" with a stand-in
# registry: each run stops on its start-up error, waits for the user's close
# (SIGTERM once the error is logged) and exits 0.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/registry.reg
  "Windows Registry Editor Version 5.00\r\n\r\n"
  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n"
  "\"SetupPath\"=\"D:\\\\Sims\\\\Prepar3D v6\\\\\"\r\n")
set(ENV{VRMT_REGISTRY_FILE} ${WORK}/registry.reg)
set(ENV{VRMT_APPDATA} ${WORK}/appdata)
set(ENV{VRMT_LOCK_DIR} ${WORK}/lock)
foreach(run 1 2 3)
  execute_process(COMMAND sh ${HERE}/until_logged.sh "Exiting: SYSTEM ERROR" ${VORMETH}
                  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "run ${run} exited with ${rc}")
  endif()
  # Mark each generation so the rotation can be checked.
  file(APPEND ${WORK}/Log.txt "run ${run}\n")
endforeach()
foreach(pair "Log00.txt;run 1" "Log0.txt;run 2" "Log.txt;run 3")
  list(GET pair 0 name)
  list(GET pair 1 mark)
  file(READ ${WORK}/${name} text)
  if(NOT text MATCHES "^VRMT_P3D \\(utc\\) ... ... [0-9][0-9] [0-9:]+ [0-9]+ version 11\\.0\\.3 for Prepar3D v5/v6\n")
    message(FATAL_ERROR "${name} lacks the banner:\n${text}")
  endif()
  if(NOT text MATCHES "Error 41: VRMT_P3D must be run from the VRMT_P3D folder!\nExiting: SYSTEM ERROR\nUser closed VRMT_P3D\n")
    message(FATAL_ERROR "${name} lacks the start-up error and the close:\n${text}")
  endif()
  if(NOT text MATCHES "${mark}\n$")
    message(FATAL_ERROR "${name} is not from ${mark}:\n${text}")
  endif()
endforeach()
