# A day of datalogging: four channels at 200 samples per second into the day
# track files, loop passes included.
tw_add_bench(tw_bench_tracks SOURCES ${CMAKE_CURRENT_LIST_DIR}/tracks.cpp
  LIBS tw_datalog tw_platform_posix)
