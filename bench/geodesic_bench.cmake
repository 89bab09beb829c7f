plyform_benchmark(geodesic_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/geodesic_bench.cpp LINKS spatial)
