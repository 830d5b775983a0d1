# Fails when a file includes a header of a layer it may not use. The layers depend only
# downward: plugin on decode and settings, those two on common. Host-side code (the
# end-to-end, GUI and binary tests and the host kit) sees only the plug-in interface.
#   cmake -DROOT=<project folder> -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(may_use_common common)
set(may_use_settings common settings)
set(may_use_decode common decode)
set(may_use_plugin common settings decode plugin)
set(host_side tests/e2e tests/gui tests/binary tools/hostkit tools/spihost)
# The shared test helpers that end-to-end tests link; the unit tests' own main and the
# stand-in imaging objects are for unit tests, which may see everything.
set(host_side_files tests/support/TestEnvironment tests/support/TiffWriter tests/support/TiffFixtures
                    tests/support/PictureModel tests/support/WicProbe tests/support/HostMain
                    tests/support/ScratchUserKey)
set(host_interface plugin/SusieApi.h)

set(problems "")
function(check_file file allowed_layers allowed_headers)
  set(found "")
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](common|settings|decode|plugin)/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" header "${line}")
    string(REGEX REPLACE "/.*" "" layer "${header}")
    if(NOT layer IN_LIST allowed_layers AND NOT header IN_LIST allowed_headers)
      file(RELATIVE_PATH shown "${ROOT}" "${file}")
      string(APPEND found "\n  ${shown} includes ${header}")
    endif()
  endforeach()
  set(problems "${problems}${found}" PARENT_SCOPE)
endfunction()

foreach(layer common settings decode plugin)
  file(GLOB_RECURSE files "${ROOT}/src/${layer}/*.h" "${ROOT}/src/${layer}/*.cpp")
  foreach(file IN LISTS files)
    check_file("${file}" "${may_use_${layer}}" "")
  endforeach()
endforeach()
set(files "")
foreach(folder IN LISTS host_side)
  file(GLOB_RECURSE found "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp")
  list(APPEND files ${found})
endforeach()
foreach(stem IN LISTS host_side_files)
  file(GLOB found "${ROOT}/${stem}.h" "${ROOT}/${stem}.cpp")
  list(APPEND files ${found})
endforeach()
foreach(file IN LISTS files)
  check_file("${file}" "" "${host_interface}")
endforeach()

if(problems)
  message(FATAL_ERROR "Includes against the layering (plugin -> decode, settings -> common; "
                      "host-side code sees only ${host_interface}):${problems}")
endif()
