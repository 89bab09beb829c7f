# Needs a display: run it under xvfb-run.
plyform_benchmark(brush_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/brush_bench.cpp LINKS editing Qt5::Test)
