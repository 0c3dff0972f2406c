# Batch-conversion throughput through the Picture object on the worker pool
# (Windows only; scripts/bench-pool.sh builds it and runs it under Wine).
# Included from bench/CMakeLists.txt; paths are relative to this file so it
# works from whichever directory includes it.
if(WIN32 AND NOT TARGET pool_bench)
  add_executable(pool_bench "${CMAKE_CURRENT_LIST_DIR}/pool_bench_win.cpp")
  pc_text_flags(pool_bench)
  target_link_libraries(pool_bench PRIVATE pc_picture pc_pool pc_gui psapi)
  # Where the executable lands, for scripts/bench-pool.sh.
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/pool_bench_path.txt"
    CONTENT "$<TARGET_FILE:pool_bench>")
endif()
