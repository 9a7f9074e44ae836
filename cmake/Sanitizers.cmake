# QVZ_SANITIZE: "" (none), "address,undefined" or "thread".
set(QVZ_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined | thread)")
if(QVZ_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "QVZ_SANITIZE is for GCC and Clang")
  endif()
  add_compile_options(-fsanitize=${QVZ_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QVZ_SANITIZE})
endif()
