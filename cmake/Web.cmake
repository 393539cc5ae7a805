# The browser build's pages: the two programs linked for a page (WebAssembly threads, the
# program's main on a worker, fixed memory) and the static folder ZT_WEB_DIR (build/web) with
# index.html, zentavor.html and trabolix.html, their .js, .wasm and .worker.js, the page's
# scripts and the terminal library from node_modules (npm ci).
set(ZT_WEB_DIR "${PROJECT_SOURCE_DIR}/build/web" CACHE PATH "Where the browser pages go")
set(xterm_dir "${PROJECT_SOURCE_DIR}/node_modules/@xterm/xterm")
if(NOT EXISTS "${xterm_dir}/lib/xterm.js")
  message(FATAL_ERROR "The terminal library is missing: run `npm ci` in ${PROJECT_SOURCE_DIR}")
endif()

set(web_link_options
  -sPROXY_TO_PTHREAD=1          # main on a worker: the page's thread stays free for the page
  -sPTHREAD_POOL_SIZE=6         # workers ready for the libraries' threads
  -sEXIT_RUNTIME=1
  -sINITIAL_MEMORY=134217728    # fixed: no growth, which shared memory makes slow
  -sALLOW_MEMORY_GROWTH=0
  -sENVIRONMENT=web,worker
  "-sEXPORTED_RUNTIME_METHODS=['FS','addRunDependency','removeRunDependency']"
  -sMALLOC=dlmalloc
  --profiling-funcs
  --pre-js ${PROJECT_SOURCE_DIR}/platform/web/web_pre.js)            # function names, for the call history of the run-time report

set(PAGE_PROGRAM zentavor)
set(PAGE_TITLE Zentavor)
set(PAGE_WIDTH 1000)
set(PAGE_HEIGHT 750)
set(PAGE_LINE "Three planets that attract each other, drawn as turning wireframe spheres.")
set(PAGE_KEYS "Keys: r ends the program (typed in the terminal, or in the picture after a click \
on it); every other key is ignored. Ctrl+C in the terminal stops it at once with a run-time \
report (status 9).")
configure_file(${PROJECT_SOURCE_DIR}/web/program.html.in ${ZT_WEB_DIR}/zentavor.html @ONLY)

set(PAGE_PROGRAM trabolix)
set(PAGE_TITLE Trabolix)
set(PAGE_WIDTH 1000)
set(PAGE_HEIGHT 800)
set(PAGE_LINE "A keyboard game: walk up to the six magenta spheres and shoot them all.")
set(PAGE_KEYS "Keys, typed in the terminal: arrows or 8 2 4 6 walk and turn, Home End (7 1) \
step sideways, PgUp PgDn (9 3) tilt, + - step up and down, * / roll, space shoots, n starts \
over, any other key ends the game. Ctrl+C stops it at once with a run-time report (status 9).")
configure_file(${PROJECT_SOURCE_DIR}/web/program.html.in ${ZT_WEB_DIR}/trabolix.html @ONLY)

set(web_static
  ${PROJECT_SOURCE_DIR}/web/index.html
  ${PROJECT_SOURCE_DIR}/web/page.css
  ${PROJECT_SOURCE_DIR}/platform/web/web_host.js
  ${PROJECT_SOURCE_DIR}/platform/web/web_keys.js
  ${xterm_dir}/lib/xterm.js
  ${xterm_dir}/css/xterm.css)

set(web_copies)
foreach(program zentavor trabolix)
  target_link_options(${program} PRIVATE ${web_link_options})
  set_property(TARGET ${program} APPEND PROPERTY LINK_DEPENDS
    ${PROJECT_SOURCE_DIR}/platform/web/web_pre.js)
  foreach(ext js wasm worker.js)
    list(APPEND web_copies $<TARGET_FILE_DIR:${program}>/${program}.${ext})
  endforeach()
endforeach()
add_custom_target(web ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZT_WEB_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${web_static} ${web_copies} ${ZT_WEB_DIR}/
  DEPENDS zentavor trabolix ${web_static}
  COMMENT "Pages in ${ZT_WEB_DIR}"
  VERBATIM)
