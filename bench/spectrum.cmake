# The spectrum transform and block step on the real picture canvases.
tw_add_bench(tw_bench_spectrum SOURCES ${CMAKE_CURRENT_LIST_DIR}/spectrum.cpp
  LIBS tw_display tw_platform_qt tw_platform_posix)
# The windowed program with the spectrum window open on the simulated board:
# CPU of the program's thread. Its own main(): the windows need a
# QApplication.
if(TARGET tw_ui AND TARGET tw_boardsim)
  add_executable(tw_bench_spectrum_window ${CMAKE_CURRENT_LIST_DIR}/spectrum_window.cpp)
  target_link_libraries(tw_bench_spectrum_window PRIVATE tw_ui tw_boardsim tw_platform_posix
    benchmark::benchmark)
endif()
