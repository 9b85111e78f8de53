# Warnings on for every target of the project; the build stays clean.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                    -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
                    -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
option(TELV_WERROR "Treat warnings as errors" OFF)
if(TELV_WERROR)
  add_compile_options(-Werror)
endif()

# telv_add_test(name SOURCES ... LIBS ... [LABELS ...]): one GoogleTest executable, its tests
# registered one by one with CTest.
function(telv_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/LeakSuppressions.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(labels ${T_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

# telv_add_subdirectories(dir...): adds each listed folder that has a CMakeLists.txt, except
# those named in TELV_SKIP_DIRS (paths relative to the project root), for partial builds.
function(telv_add_subdirectories)
  file(RELATIVE_PATH here ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(dir ${ARGN})
    if(here)
      set(path "${here}/${dir}")
    else()
      set(path "${dir}")
    endif()
    if(path IN_LIST TELV_SKIP_DIRS)
      continue()
    endif()
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
