# Needs a display: run it under xvfb-run.
plyform_benchmark(transfer_mode_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transfer_mode_bench.cpp LINKS Tarnwick Qt5::Test)
