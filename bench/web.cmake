# Web services: a day of dataselect, station metadata.
tw_add_bench(tw_bench_web SOURCES ${CMAKE_CURRENT_LIST_DIR}/web.cpp
  LIBS tw_web)
