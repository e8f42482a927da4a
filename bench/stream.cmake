# Standard data: packing and archiving miniSEED records, serving 20 and 500 clients.
tw_add_bench(tw_bench_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/stream.cpp
  LIBS tw_stream tw_fakes)
