plyform_benchmark(deform_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/deform_bench.cpp LINKS registration)
