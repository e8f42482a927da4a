# Decoding and dispatch of recorded board bytes through the sample path.
tw_add_bench(tw_bench_decoding SOURCES ${CMAKE_CURRENT_LIST_DIR}/decoding.cpp LIBS tw_acquisition)
