# The hole-filling case needs a display: run it under xvfb-run.
plyform_benchmark(texture_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/texture_bench.cpp LINKS texture)
