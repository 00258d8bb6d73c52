# Checks the Maya module that `cmake --install` lays out (run with cmake -P).
#   BUILD_DIR       the project's build tree
#   FULL_PREFIX     a prefix that a plain `cmake --install` filled
#   MODULE_PREFIX   scratch prefix for `--component plugin` alone
#   PLUGIN_FILE     file name of the plug-in (Korvane.so / Korvane.mll)
#   HOST_LIB_FILE   file name of the stand-in host library, empty with a real devkit
#   VERSION         the plug-in's version text
#   CONFIG          build configuration (multi-config generators)
#   EMULATOR        runs the installed program of a cross build (Wine), or empty
#   EXE_SUFFIX      the programs' file name suffix (.exe on Windows)

function(fail)
    string(JOIN "" text ${ARGN})
    message(FATAL_ERROR "${text}")
endfunction()

# The module file: one section per platform, each naming plug-ins/ and
# scripts/ of the module's folder; with several Maya versions one section per
# version and platform, each in the version's sub-folder.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/KorvaneModule.cmake)
function(expect_mod_lines lines)
    set(expected)
    foreach(platform win64 linux mac)
        list(APPEND expected "+ PLATFORM:${platform} Korvane ${VERSION} ." "plug-ins: plug-ins" "scripts: scripts")
    endforeach()
    if(NOT lines STREQUAL expected)
        string(REPLACE ";" "\n  " got "${lines}")
        string(REPLACE ";" "\n  " want "${expected}")
        fail("module file:\n  ${got}\nexpected:\n  ${want}")
    endif()
endfunction()

function(check_mod_file prefix)
    set(mod "${prefix}/Korvane.mod")
    if(NOT EXISTS "${mod}")
        fail("missing ${mod}")
    endif()
    file(STRINGS "${mod}" lines)
    expect_mod_lines("${lines}")
endfunction()

# Several Maya versions: 3 versions x 3 platforms, in version order, each
# section naming its version's folder; one version alone gets its 3 sections.
korvane_module_text(text VERSION ${VERSION} MAYA_VERSIONS 2024 2025 2026)
string(REGEX MATCHALL "[^\n]+" lines "${text}")
set(expected)
foreach(maya 2024 2025 2026)
    foreach(platform win64 linux mac)
        list(APPEND expected "+ MAYAVERSION:${maya} PLATFORM:${platform} Korvane ${VERSION} ./${maya}"
            "plug-ins: plug-ins" "scripts: scripts")
    endforeach()
endforeach()
if(NOT lines STREQUAL expected)
    string(REPLACE ";" "\n  " got "${lines}")
    fail("module file for Maya 2024, 2025 and 2026:\n  ${got}")
endif()
list(GET lines 12 line)
if(NOT line STREQUAL "+ MAYAVERSION:2025 PLATFORM:linux Korvane ${VERSION} ./2025")
    fail("section 5 of the module file for three versions: ${line}")
endif()
korvane_module_text(text VERSION ${VERSION} MAYA_VERSIONS 2025)
string(REGEX MATCHALL "[^\n]+" lines "${text}")
list(LENGTH lines n)
if(NOT n EQUAL 9 OR NOT text MATCHES "^\\+ MAYAVERSION:2025 PLATFORM:win64 Korvane ${VERSION} \\./2025\n")
    fail("module file for Maya 2025 alone:\n${text}")
endif()
korvane_module_text(text VERSION ${VERSION})
string(REGEX MATCHALL "[^\n]+" lines "${text}")
expect_mod_lines("${lines}")

function(check_module_layout prefix)
    check_mod_file("${prefix}")
    foreach(f "plug-ins/${PLUGIN_FILE}" "scripts/AEKorvaneTemplate.mel")
        if(NOT EXISTS "${prefix}/${f}")
            fail("missing ${prefix}/${f}")
        endif()
    endforeach()
    if(HOST_LIB_FILE AND NOT EXISTS "${prefix}/plug-ins/${HOST_LIB_FILE}")
        fail("the stand-in host library is not beside the plug-in: ${prefix}/plug-ins/${HOST_LIB_FILE}")
    endif()
endfunction()

# 1. The module component alone: the module and nothing else.
file(REMOVE_RECURSE "${MODULE_PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${MODULE_PREFIX}"
                        --component plugin --config "${CONFIG}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    fail("cmake --install --component plugin failed:\n${out}")
endif()
check_module_layout("${MODULE_PREFIX}")
file(GLOB top RELATIVE "${MODULE_PREFIX}" "${MODULE_PREFIX}/*")
list(SORT top)
if(NOT top STREQUAL "Korvane.mod;plug-ins;scripts")
    fail("--component plugin installed more than the module: ${top}")
endif()

# 2. A plain install lays out the same module beside the library and the program.
check_module_layout("${FULL_PREFIX}")

# 3. The installed plug-in finds the stand-in host's library through its own
#    run path, not through the build tree.
if(HOST_LIB_FILE AND CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND PLUGIN_FILE MATCHES "[.]so$")
    file(GET_RUNTIME_DEPENDENCIES
        MODULES "${MODULE_PREFIX}/plug-ins/${PLUGIN_FILE}"
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        PRE_INCLUDE_REGEXES "korvane_host"
        PRE_EXCLUDE_REGEXES ".*")
    set(found FALSE)
    foreach(dep IN LISTS resolved)
        get_filename_component(dep_dir "${dep}" DIRECTORY)
        get_filename_component(dep_dir "${dep_dir}" REALPATH)
        get_filename_component(want_dir "${MODULE_PREFIX}/plug-ins" REALPATH)
        if(dep_dir STREQUAL want_dir)
            set(found TRUE)
        endif()
    endforeach()
    if(NOT found)
        fail("the installed plug-in does not find ${HOST_LIB_FILE} beside it: resolved '${resolved}', "
             "unresolved '${unresolved}'")
    endif()
endif()

# 4. The installed program runs the installed module's plug-in.
set(exe "${FULL_PREFIX}/bin/korvane${EXE_SUFFIX}")
if(HOST_LIB_FILE AND EXISTS "${exe}")
    execute_process(COMMAND ${EMULATOR} "${exe}" eval --set m_active=off
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "\\[Quorbel\\] initializing plugin Korvane v\\.${VERSION}\\."
       OR NOT out MATCHES "frame 1: kSuccess, 0 vertices")
        fail("installed korvane eval (status ${rc}):\n${out}${err}")
    endif()
endif()
message(STATUS "Maya module layout OK")
