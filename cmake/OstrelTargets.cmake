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

# Output that must be identical on every build (the JPEG encoder): no fused
# multiply-add contraction and none of the value-changing fast-math options.
function(ostrel_exact_float target)
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
endfunction()

# Photographic sample images for the encoder's quality tests and benchmarks
# (scikit-image's data folder, installed or unpacked by scripts/deps.sh).
set(OSTREL_PHOTO_DIR "" CACHE PATH "Folder holding astronaut.png and coffee.png")
if(NOT OSTREL_PHOTO_DIR)
  foreach(candidate
      "${CMAKE_SOURCE_DIR}/.cache/photos"
      "/usr/lib/python3/dist-packages/skimage/data")
    if(EXISTS "${candidate}/astronaut.png")
      set(OSTREL_PHOTO_DIR "${candidate}")
      break()
    endif()
  endforeach()
endif()
if(NOT OSTREL_PHOTO_DIR)
  set(OSTREL_PHOTO_DIR "${CMAKE_SOURCE_DIR}/.cache/photos")
  message(STATUS "Photo fixtures not found; scripts/deps.sh fetches them into ${OSTREL_PHOTO_DIR}")
endif()
