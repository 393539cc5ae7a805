# Sphere engine: DrawBol through Zentavor's graphics revision against SDL's software renderer
# drawing the same line segments.
if(TARGET graph_r2)
  zt_add_bench(NAME engine_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp
    LIBS engine graph_r2 platform_win platform_con rts PkgConfig::SDL2)
endif()
