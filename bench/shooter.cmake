# Trabolix: passes of the real main loop through revision 1's drawing thread, one request
# hand-over, and the bare two-event hand-over as the baseline.
zt_add_bench(NAME shooter_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/shooter_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/alloc_count.cpp
  LIBS trabolix_main)
