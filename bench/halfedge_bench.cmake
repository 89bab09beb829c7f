plyform_benchmark(halfedge_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/halfedge_bench.cpp LINKS mesh)
