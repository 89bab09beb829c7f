plyform_benchmark(registration_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registration_bench.cpp LINKS registration)
