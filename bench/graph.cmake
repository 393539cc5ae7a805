# Graphics library: lines and a sphere redraw against SDL's software renderer, and the cost of one
# present through the window stand-in.
if(TARGET graph_zentavor)
  zt_add_bench(NAME graph_zentavor_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/graph_bench.cpp
    LIBS graph_zentavor platform_win platform_con rts PkgConfig::SDL2)
  zt_add_bench(NAME graph_trabolix_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/graph_bench.cpp
    LIBS graph_trabolix platform_win rts PkgConfig::SDL2)
  target_compile_definitions(graph_trabolix_bench PRIVATE GRAPH_BENCH_REAL_TIME)
  zt_add_bench(NAME graph_present_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/graph_present_bench.cpp
    LIBS platform_win)
endif()
