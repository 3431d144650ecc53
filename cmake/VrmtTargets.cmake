# Helpers shared by the subsystem, test, tool and benchmark folders.

# vrmt_library(NAME DEPS...): a static library from every .cpp of the calling
# folder (and of its posix/ or win32/ sub-folder), with src/ on the include path.
function(vrmt_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*.cpp)
  else()
    file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/posix/*.cpp)
  endif()
  add_library(${name} STATIC ${sources} ${os_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# vrmt_add_tests(LIBS lib...): one test program for every *_test.cpp of the
# calling folder, registered with ctest; the .cpp files of its support/ folder
# form a helper library linked to each. Suites that run threads are named
# *_threads_test.cpp: CI runs them under ThreadSanitizer too (ctest label "threaded").
# SUPPORT target: a helper library built elsewhere takes the place of support/.
function(vrmt_add_tests)
  cmake_parse_arguments(T "" "SUPPORT" "LIBS" ${ARGN})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  if(T_SUPPORT)
    set(support ${T_SUPPORT})
  elseif(helpers)
    add_library(vrmt_testsupport_${folder} STATIC ${helpers})
    target_include_directories(vrmt_testsupport_${folder} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(vrmt_testsupport_${folder} PUBLIC ${T_LIBS} GTest::gtest GTest::gmock)
    set(support vrmt_testsupport_${folder})
  endif()
  foreach(file ${tests})
    get_filename_component(stem ${file} NAME_WE)
    set(target ${folder}_${stem})
    add_executable(${target} ${file})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE ${support} ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${target} COMMAND ${target})
    set(labels ${folder})
    if(stem MATCHES "_threads_test$")
      list(APPEND labels threaded)
    endif()
    set_tests_properties(${target} PROPERTIES LABELS "${labels}" TIMEOUT 300)
  endforeach()
endfunction()
