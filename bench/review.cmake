# Reading the day tracks back: an extraction of 480 minutes at 200 samples
# per second and replay pages drawn on a QImage canvas.
tw_add_bench(tw_bench_review SOURCES ${CMAKE_CURRENT_LIST_DIR}/review.cpp
  LIBS tw_datalog tw_platform_qt Qt6::Gui)
