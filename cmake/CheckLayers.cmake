# Fails the configuration when a source includes a file of a layer above its
# own. The layers, bottom first:
#   winsim/       the simulated platform: nothing of ours
#   common/       the shared owners: the platform only
#   host/include  the host's published interface: common/
#   src/          the plug-in: host/include and common/
#   host/         the host's components and programs: host/ and common/
#   bench/        the measurements: src/, host/ and common/
#   tests/        everything
# An include is resolved as the compiler would: beside the including file
# first, then in each folder the project puts on an include path.
set(NX_INCLUDE_ROOTS
    winsim/include common host/include host/bus host/logging host/broker host/manager
    host/service src bench tests)

# The layer a file of the repository belongs to, by its path.
function(nx_layer_of path out)
    foreach(layer winsim common host/include src host bench tests)
        if(path MATCHES "^${layer}/")
            set(${out} ${layer} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out} "" PARENT_SCOPE)
endfunction()

set(NX_LAYER_MAY_USE_winsim winsim)
set(NX_LAYER_MAY_USE_common common winsim)
set(NX_LAYER_MAY_USE_host/include host/include common winsim)
set(NX_LAYER_MAY_USE_src src host/include common winsim)
set(NX_LAYER_MAY_USE_host host host/include common winsim)
set(NX_LAYER_MAY_USE_bench bench src host host/include common winsim)
set(NX_LAYER_MAY_USE_tests tests bench src host host/include common winsim)

function(nx_check_layers root)
    file(GLOB_RECURSE sources RELATIVE ${root}
         ${root}/winsim/*.h ${root}/winsim/*.cpp ${root}/common/*.h ${root}/host/*.h
         ${root}/host/*.cpp ${root}/src/*.h ${root}/src/*.cpp ${root}/bench/*.h
         ${root}/bench/*.cpp ${root}/tests/*.h ${root}/tests/*.cpp)
    set(violations "")
    foreach(source ${sources})
        nx_layer_of(${source} layer)
        get_filename_component(directory ${source} DIRECTORY)
        file(STRINGS ${root}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
        foreach(line ${includes})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" name "${line}")
            set(found "")
            foreach(base ${directory} ${NX_INCLUDE_ROOTS})
                if(EXISTS ${root}/${base}/${name})
                    file(RELATIVE_PATH found ${root} ${root}/${base}/${name})
                    break()
                endif()
            endforeach()
            if(found STREQUAL "")
                continue()  # a system or platform header
            endif()
            nx_layer_of(${found} target)
            if(NOT target IN_LIST NX_LAYER_MAY_USE_${layer})
                string(APPEND violations "\n  ${source}: ${name} (${layer} may not use ${target})")
            endif()
        endforeach()
    endforeach()
    if(violations)
        message(FATAL_ERROR "Includes across the layers:${violations}")
    endif()
endfunction()

nx_check_layers(${PROJECT_SOURCE_DIR})
