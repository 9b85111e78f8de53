# The fuzz harness as a plain library: the fuzz targets link it, and the reliability tests
# include this file to run the seed corpus through it with any compiler.
include_guard(GLOBAL)
add_library(telv_fuzz_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/ControllerFuzz.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/SeedCorpus.cpp)
target_include_directories(telv_fuzz_harness PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(telv_fuzz_harness PUBLIC telv_connection telv_tables telv_server_side)

# The exporter's connection path, when the exporter is built (prometheus-cpp and yaml-cpp found).
if(TARGET telv_exporter_core)
  add_library(telv_exporter_fuzz_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/ExporterFuzz.cpp)
  target_link_libraries(telv_exporter_fuzz_harness PUBLIC telv_fuzz_harness telv_exporter_core)
endif()
