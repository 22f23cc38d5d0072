# The atlas benchmark reads the plates from the built program's resources, so it is built first.
add_executable(atlas_bench atlas_bench.cpp)
target_link_libraries(atlas_bench PRIVATE kestrune_options kestrune_views psapi windowscodecs ole32 shlwapi uuid)
add_dependencies(atlas_bench Kestrune)
