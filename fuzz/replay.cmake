# Every fuzz corpus replayed as an ordinary test: each target's entry point
# with a plain main (ReplayMain.cpp), built by the configured compiler.
add_library(dendrix_replay_support OBJECT
  ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp
  ${DENDRIX_ROW_SOURCES})
target_link_libraries(dendrix_replay_support PUBLIC dendrix_host)
foreach(target fuzz_model fuzz_csv fuzz_derived)
  add_executable(replay_${target} ${PROJECT_SOURCE_DIR}/fuzz/${target}.cpp
                                  $<TARGET_OBJECTS:dendrix_replay_support>)
  target_link_libraries(replay_${target} PRIVATE dendrix_tree_obj dendrix_scoring_obj dendrix_readers_obj
                        dendrix_host ZLIB::ZLIB)
  add_test(NAME FuzzReplay.${target}
           COMMAND replay_${target} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
endforeach()
add_executable(replay_fuzz_pmml44 ${PROJECT_SOURCE_DIR}/fuzz/fuzz_pmml44.cpp
                                  $<TARGET_OBJECTS:dendrix_replay_support>)
target_link_libraries(replay_fuzz_pmml44 PRIVATE dendrix_pmml44_obj dendrix_host ZLIB::ZLIB)
add_test(NAME FuzzReplay.fuzz_pmml44
         COMMAND replay_fuzz_pmml44 ${PROJECT_SOURCE_DIR}/fuzz/corpus/fuzz_pmml44)
