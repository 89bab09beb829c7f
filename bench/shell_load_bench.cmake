# Needs a display: run it under xvfb-run.
plyform_benchmark(shell_load_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/shell_load_bench.cpp LINKS Tarnwick Qt5::Test)
