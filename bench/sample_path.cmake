# The whole sample path: decoding, the board clock and the station's signal
# path (conditioning, trigger detector, event file lines, charts), on
# recorded board bytes.
tw_add_bench(tw_bench_sample_path SOURCES ${CMAKE_CURRENT_LIST_DIR}/sample_path.cpp
  LIBS tw_app tw_fakes)
