# Compiler settings shared by every target of both platforms.
# Results must be bitwise identical on x86-64 and i686: no contraction of
# multiply-add, and SSE2 doubles instead of the x87 stack on i686.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor> -ffp-contract=off)
if(FI_WERROR)
  add_compile_options(-Werror)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|i386|x86$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()
if(WIN32)
  # Only Windows system DLLs at run time: the C, C++ and thread runtimes go in statically.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
endif()
if(FI_SANITIZE)
  add_compile_options(-fsanitize=${FI_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${FI_SANITIZE})
endif()
if(FI_LTO)
  # Whole-program optimisation also sees every definition of a class at
  # once: two different classes of one name are an error, not a silent
  # mix-up of their type information.
  # Fat objects, so that a program may still be linked without it.
  add_compile_options(-flto=auto -ffat-lto-objects)
  add_link_options(-flto=auto -Wodr -Werror=odr -Werror=lto-type-mismatch)
endif()
