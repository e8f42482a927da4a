# The trigger: the live detector with and without an order-4 band filter on
# four channels at 200 samples per second, and the replay of a day track.
tw_add_bench(tw_bench_trigger SOURCES ${CMAKE_CURRENT_LIST_DIR}/trigger.cpp LIBS tw_datalog)
