plyform_benchmark(splm_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/splm_bench.cpp LINKS numerics)
