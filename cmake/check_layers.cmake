# Checks that every file of the project includes only headers of its own
# layer and of the layers below it, as README.md's layout table says.
#   cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
# Fails naming each file that includes a header it may not, and that header.
# The build runs it before compiling anything; ctest -L layers runs it too.

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

# A layer, the folders whose files belong to it, and the layers it may
# include (itself always).  A deeper folder names a layer of its own.
set(layers platform trace xml dc replay store output session
  frontend/terminal frontend/paint frontend/qt frontend/win32 sim fuzz bench)
set(below_platform "")
set(below_trace platform)
set(below_xml "")
set(below_dc trace platform)
set(below_replay platform)
set(below_store replay dc platform)
set(below_output dc xml trace platform)
set(below_session output store replay dc xml trace platform)
set(below_frontend/terminal session output store replay dc xml trace platform)
set(below_frontend/paint "")
set(below_frontend/qt frontend/terminal frontend/paint session output store replay dc xml trace
  platform)
set(below_frontend/win32 frontend/terminal frontend/paint session output store replay dc xml
  trace platform)
set(below_sim replay dc platform)
set(below_fuzz sim session output store replay dc xml trace platform)
set(below_bench sim session output store replay dc xml trace platform)

# The layer of a path relative to the tree (empty when it is in none).
function(layer_of path out)
  set(found "")
  foreach(layer IN LISTS layers)
    if(path MATCHES "^${layer}/")
      set(found ${layer})
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(failures "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
    "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp" "${SOURCE_DIR}/${layer}/*.in")
  foreach(file IN LISTS files)
    layer_of("${file}" own)
    if(NOT own STREQUAL layer)
      continue()  # a file of a deeper layer, checked with that one
    endif()
    file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      layer_of("${header}" target)
      if(target STREQUAL "" OR target STREQUAL own)
        continue()
      endif()
      list(FIND below_${own} "${target}" allowed)
      if(allowed EQUAL -1)
        string(REPLACE ";" "/, " may "${below_${own}}")
        if(may STREQUAL "")
          set(may "nothing of another layer")
        else()
          set(may "${may}/")
        endif()
        string(APPEND failures
          "\n  ${file} includes ${header}: ${own}/ may include ${may}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Includes that break the layers:${failures}")
endif()
