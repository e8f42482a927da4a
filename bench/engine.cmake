# The acquisition run's loop on a scripted port: reading, packet assembly,
# dispatch, board clock and sample path, as the program runs them.
if(TARGET tw_fakes AND TARGET tw_app)
  tw_add_bench(tw_bench_engine SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine.cpp LIBS tw_app tw_fakes)
endif()
