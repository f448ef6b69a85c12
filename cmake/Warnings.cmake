# Warnings for our own targets; third-party headers come in as system headers.
function(stampwise_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 reports a false -Wrestrict inside libstdc++'s string
  # concatenation at -O3 (the standard library's code, not ours).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(STAMPWISE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A static library made of every source file in a folder and its subfolders,
# so that adding a file needs no edit here. A folder without sources yet
# still gives a (empty) library, so that the layers can be wired up.
# EXCLUDE names files of the folder that another library builds; FOLDERS
# names subfolders that are libraries of their own.
function(stampwise_library name dir)
  cmake_parse_arguments(ARG "" "" "EXCLUDE;FOLDERS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${ARG_EXCLUDE})
  endif()
  foreach(sub ${ARG_FOLDERS})
    list(FILTER sources EXCLUDE REGEX "^${dir}/${sub}/")
  endforeach()
  if(NOT sources)
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${placeholder} "// This layer has no sources yet.\n")
    set(sources ${placeholder})
  endif()
  add_library(${name} STATIC ${sources})
  stampwise_target_warnings(${name})
endfunction()
