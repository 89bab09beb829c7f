# Needs a display: run it under xvfb-run.
plyform_benchmark(selection_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/selection_bench.cpp
  LINKS editing rendering spatial mesh Qt5::Test)
