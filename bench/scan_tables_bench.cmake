plyform_benchmark(scan_tables_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/scan_tables_bench.cpp LINKS registration)
