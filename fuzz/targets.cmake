# The fuzz targets, shared by fuzz/ (libFuzzer builds) and
# tests/fuzz_regress/ (replay of the stored inputs in every build).
#
# korvane_fuzz_target_info(<name> <sources var> <libs var>) gives the
# sources and libraries of one target; KORVANE_FUZZ_TARGETS lists them all.
# fuzz_create_command needs the plug-in and the stand-in host; it is left out
# when they are not built.
set(KORVANE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KORVANE_FUZZ_TARGETS
    read_znq
    read_drs2
    read_obj
    read_bin
    load_from_file
    meshops
    cache_path)
if(TARGET Korvane AND TARGET korvane_host AND NOT KORVANE_REAL_MAYA)
    list(APPEND KORVANE_FUZZ_TARGETS create_command)
endif()

function(korvane_fuzz_target_info name sources_var libs_var)
    set(${sources_var} ${KORVANE_FUZZ_DIR}/fuzz_${name}.cpp PARENT_SCOPE)
    # Every target that includes FuzzSupport.h sets thread counts.
    if(name STREQUAL "meshops" OR name STREQUAL "cache_path")
        set(${libs_var} korvane_chain Korvane::core OpenMP::OpenMP_CXX PARENT_SCOPE)
    elseif(name STREQUAL "create_command")
        set(${libs_var} korvane_host OpenMP::OpenMP_CXX PARENT_SCOPE)
    else()
        set(${libs_var} Korvane::core OpenMP::OpenMP_CXX PARENT_SCOPE)
    endif()
endfunction()

# Target-specific settings that both builds need.
function(korvane_fuzz_target_setup name target)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    if(name STREQUAL "create_command")
        target_compile_definitions(${target} PRIVATE KORVANE_PLUGIN_PATH="$<TARGET_FILE:Korvane>")
        add_dependencies(${target} Korvane)
    endif()
endfunction()
