# The station page's requests, as fifty open pages make them.
tw_add_bench(tw_bench_station_page SOURCES ${CMAKE_CURRENT_LIST_DIR}/station_page.cpp
  LIBS tw_web)
