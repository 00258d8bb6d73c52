# The Maya module file (Korvane.mod).
#
# korvane_module_text(<out> VERSION <plug-in version> [MAYA_VERSIONS v...])
# Without Maya versions: one section per platform whose path is the module's
# own folder ("."), as for a module that holds one build. With them: one
# section per Maya version and platform, `+ MAYAVERSION:2025 PLATFORM:win64
# Korvane 1.236 ./2025` and kin, so that one module path serves every Maya
# whose build is installed in its own sub-folder (<prefix>/2025/plug-ins ...).
function(korvane_module_text out)
    cmake_parse_arguments(A "" "VERSION" "MAYA_VERSIONS" ${ARGN})
    set(text "")
    if(A_MAYA_VERSIONS)
        foreach(maya ${A_MAYA_VERSIONS})
            foreach(platform win64 linux mac)
                string(APPEND text "+ MAYAVERSION:${maya} PLATFORM:${platform} Korvane ${A_VERSION} ./${maya}\n"
                    "plug-ins: plug-ins\nscripts: scripts\n")
            endforeach()
        endforeach()
    else()
        foreach(platform win64 linux mac)
            string(APPEND text "+ PLATFORM:${platform} Korvane ${A_VERSION} .\nplug-ins: plug-ins\nscripts: scripts\n")
        endforeach()
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()
