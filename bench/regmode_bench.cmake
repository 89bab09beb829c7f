# Needs a display: run it under xvfb-run.
plyform_benchmark(regmode_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/regmode_bench.cpp LINKS Tarnwick Qt5::Test)
