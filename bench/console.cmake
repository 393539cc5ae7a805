# Console library: key latency from a byte written to the terminal, or a record written by the
# graphics window, to IO.KeyPressed seeing the key; one benchmark program per build, each with
# its bare baseline.
if(TARGET console_zentavor AND TARGET console_trabolix)
  foreach(build zentavor trabolix)
    zt_add_bench(NAME console_bench_${build} SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_bench.cpp
      LIBS console_${build} util)
  endforeach()
endif()
