# Zentavor: the real frame and its parts (physics, projection, line calls, locking).
zt_add_bench(NAME planets_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/planets_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/alloc_count.cpp
  LIBS zentavor_main)
