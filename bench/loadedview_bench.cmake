# Needs a display: run it under xvfb-run.
plyform_benchmark(loadedview_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/loadedview_bench.cpp
                  LINKS editing rendering spatial mesh Qt5::Test)
