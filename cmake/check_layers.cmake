# Fails when a source file includes a header of a layer above its own, or of
# a sibling on the same level (sim <-> win32, update <-> report).
#   cmake -DROOT=<source dir> -P cmake/check_layers.cmake
#
# Levels, lowest first:
#   0 base/                      text, dates, errors
#   1 platform/os.h, xml.h       the OS seam
#   2 platform/sim/, win32/      its backends
#   3 platform/                  the agent's platform procedures
#   4 products/
#   5 update/, report/
#   6 run/                       the driver
if(NOT ROOT)
  message(FATAL_ERROR "ROOT not set")
endif()

# Sets <out_level> and <out_group> for a path relative to ROOT; level -1 for
# files outside the layers (tests, bench, fuzz).
function(layer_of path out_level out_group)
  set(level -1)
  set(group "")
  if(path MATCHES "^base/")
    set(level 0)
    set(group base)
  elseif(path MATCHES "^platform/(os|xml)\\.h$")
    set(level 1)
    set(group seam)
  elseif(path MATCHES "^platform/(sim|win32)/")
    set(level 2)
    set(group "${CMAKE_MATCH_1}")
  elseif(path MATCHES "^platform/[^/]+$")
    set(level 3)
    set(group platform)
  elseif(path MATCHES "^products/")
    set(level 4)
    set(group products)
  elseif(path MATCHES "^(update|report)/")
    set(level 5)
    set(group "${CMAKE_MATCH_1}")
  elseif(path MATCHES "^run/")
    set(level 6)
    set(group run)
  endif()
  set(${out_level} ${level} PARENT_SCOPE)
  set(${out_group} "${group}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE "${ROOT}"
  "${ROOT}/base/*" "${ROOT}/platform/*" "${ROOT}/products/*"
  "${ROOT}/update/*" "${ROOT}/report/*" "${ROOT}/run/*")
set(violations 0)
foreach(f IN LISTS files)
  if(NOT f MATCHES "\\.(h|cpp|inc)$")
    continue()
  endif()
  layer_of("${f}" from_level from_group)
  file(STRINGS "${ROOT}/${f}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" target "${line}")
    if(NOT EXISTS "${ROOT}/${target}")
      continue()  # a file beside it (sequences.inc) or generated
    endif()
    layer_of("${target}" to_level to_group)
    if(to_level EQUAL -1)
      message(SEND_ERROR "${f}: includes ${target}, which is outside the layers")
      math(EXPR violations "${violations} + 1")
    elseif(to_level GREATER from_level)
      message(SEND_ERROR "${f}: includes ${target}, a layer above its own")
      math(EXPR violations "${violations} + 1")
    elseif(to_level EQUAL from_level AND NOT to_group STREQUAL from_group)
      message(SEND_ERROR "${f}: includes ${target}, a sibling layer")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layers")
endif()
list(LENGTH files count)
message(STATUS "layers: ${count} files checked, no include against the layers")
