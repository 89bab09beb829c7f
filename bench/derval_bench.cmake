plyform_benchmark(derval_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/derval_bench.cpp LINKS numerics registration)
