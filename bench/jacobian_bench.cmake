plyform_benchmark(jacobian_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jacobian_bench.cpp LINKS registration)
