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

if(WIN32)
  # One self-contained executable: no libgcc or libstdc++ DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
