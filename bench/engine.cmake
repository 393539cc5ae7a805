# Sphere engine: DrawBol through Zentavor's graphics revision against SDL's software renderer
# drawing the same line segments.
zt_add_bench(NAME engine_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/alloc_count.cpp
  LIBS engine graph_zentavor platform_win platform_con rts PkgConfig::SDL2)
