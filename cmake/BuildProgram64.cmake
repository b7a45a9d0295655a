# Builds the 64-bit Veltrix.exe in the 64-bit build folder beside the 32-bit one, for the release
# artefacts of the 32-bit build (the installer carries both programs). Run with cmake -P:
#
#   -DSOURCE=top -DBUILD=folder -DPRODUCT_BUILD=32-bit build folder -DKEY=... -DUPDATE_HOST=... -DREPORT_HOST=...
#
# The folder is the one `cmake --preset x64` makes for build/ (and the one the 64-bit tests run in), set
# up the same way; it is configured again only when it is new or the release's settings differ from its
# own, so that an unchanged program costs one look of Ninja.
foreach(name SOURCE BUILD PRODUCT_BUILD)
    if(NOT ${name})
        message(FATAL_ERROR "BuildProgram64.cmake: no ${name}")
    endif()
endforeach()

set(settings VELTRIX_UPDATE_PUBLIC_KEY=${KEY} VELTRIX_UPDATE_HOST=${UPDATE_HOST} VELTRIX_REPORT_HOST=${REPORT_HOST})
set(configure 0)
if(NOT EXISTS ${BUILD}/build.ninja)
    set(configure 1)
else()
    foreach(setting ${settings})
        string(REGEX REPLACE "=.*" "" name "${setting}")
        string(REGEX REPLACE "^[^=]*=" "" value "${setting}")
        file(STRINGS ${BUILD}/CMakeCache.txt found REGEX "^${name}:[A-Z]+=")
        string(REGEX REPLACE "^[^=]*=" "" found "${found}")
        if(NOT found STREQUAL value)
            set(configure 1)
        endif()
    endforeach()
endif()

if(configure)
    set(definitions)
    foreach(setting ${settings})
        list(APPEND definitions "-D${setting}")
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G Ninja
                            -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-x86_64.cmake
                            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_PRODUCT_BUILD=${PRODUCT_BUILD} ${definitions}
                    OUTPUT_QUIET RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "the 64-bit build in ${BUILD} could not be configured")
    endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target Veltrix RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "the 64-bit Veltrix.exe did not build in ${BUILD}")
endif()
