# The DataLink feed: live records to a ring server, and a day of catch-up
# from the archive.
tw_add_bench(tw_bench_datalink SOURCES ${CMAKE_CURRENT_LIST_DIR}/datalink.cpp
  LIBS tw_stream tw_fakes)
