# Compiler settings shared by every target of our own.

# Warnings in our own code (not in the libraries we include); the presets
# and CI make them errors, a packager's plain build only shows them.
option(OSTREL_WERROR "Treat warnings in Ostrel's own code as errors" OFF)
function(ostrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(OSTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Hardening of optimised builds, as Debian builds its packages: checked
# buffer functions, stack protection, read-only relocations bound at start,
# position-independent programs. (Sanitizer builds check more themselves.)
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  add_compile_options(-fstack-protector-strong
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# Output that must be identical on every build (the JPEG encoder): no fused
# multiply-add contraction and none of the value-changing fast-math options.
function(ostrel_exact_float target)
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
endfunction()

# The version header every target may include as "Version.h".
configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h @ONLY)

# ostrel_add_library(NAME SOURCES... [DEPS public...] [PRIVATE_DEPS ...]):
# the static library ostrel_NAME, also known as Ostrel::NAME, that includes
# from src/ ("platform/Surface.h") and has our warnings.
function(ostrel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(ostrel_${name} STATIC ${ARG_SOURCES})
  add_library(Ostrel::${name} ALIAS ostrel_${name})
  target_include_directories(ostrel_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(ostrel_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  ostrel_warnings(ostrel_${name})
endfunction()
