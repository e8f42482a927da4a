# The drum and the live charts per sample, on QImage canvases. Its own main()
# makes the off-screen GUI application that text on pictures needs.
if(TARGET tw_platform_qt AND TARGET tw_fakes)
  add_executable(tw_bench_display ${CMAKE_CURRENT_LIST_DIR}/display.cpp)
  target_link_libraries(tw_bench_display PRIVATE tw_display tw_platform_qt tw_fakes
    benchmark::benchmark)
endif()
