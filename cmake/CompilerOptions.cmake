# Warnings and sanitizers applied to every target of the project (not to
# third-party code, which comes from installed packages).
add_compile_options(-Wall -Wextra)
if(PI_WERROR)
  add_compile_options(-Werror)
endif()

if(PI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz preset: every target of the project carries the fuzzer's coverage
# hooks and both sanitizers; only the fuzz targets link libFuzzer itself.
if(PI_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # The archive layers' buffers shrink to one page (see LayerBufferSize).
  add_compile_definitions(PI_FUZZ_SMALL_BUFFERS)
endif()

# Source-based coverage, for measuring what the fuzz corpora reach.
if(PI_COVERAGE)
  add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate -fcoverage-mapping)
endif()

if(WIN32)
  # One self-contained executable: no libgcc or libstdc++ DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
