# The whole sample path: decoding, conditioning, trigger detector, event file
# lines and the track hook, on recorded board bytes.
tw_add_bench(tw_bench_sample_path SOURCES ${CMAKE_CURRENT_LIST_DIR}/sample_path.cpp
  LIBS tw_events tw_acquisition tw_fakes)
