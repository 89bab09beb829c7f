# Needs a display: run it under xvfb-run. The sample scenes are linked beside it,
# where the program finds them.
plyform_benchmark(sample_scenes_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sample_scenes_bench.cpp
  LINKS Tarnwick Qt5::Test)
add_dependencies(sample_scenes_bench plyform_samples)
add_custom_command(TARGET sample_scenes_bench POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E create_symlink ${PROJECT_BINARY_DIR}/Tarnwick/DemoModels
          $<TARGET_FILE_DIR:sample_scenes_bench>/DemoModels)
