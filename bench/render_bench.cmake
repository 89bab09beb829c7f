# Needs a display: run it under xvfb-run.
plyform_benchmark(render_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp LINKS rendering mesh Qt5::Test)
