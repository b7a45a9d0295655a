# Release artefacts, made in BUILD/dist/ from the program this build makes: the portable zip and the
# installer (`make dist` copies them into dist/ and adds the update release).

# The version is written once, in the version block; the artefacts take their names from it.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/resources/Version.rc VELTRIX_VERSION_LINE
     REGEX "^#define VELTRIX_VERSION_TEXT ")
if(NOT VELTRIX_VERSION_LINE MATCHES "\"([0-9]+\\.[0-9]+)\"")
    message(FATAL_ERROR "no VELTRIX_VERSION_TEXT in resources/Version.rc")
endif()
set(VELTRIX_VERSION ${CMAKE_MATCH_1})

set(VELTRIX_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
# For tools/make-dist, which names the files it copies.
file(WRITE ${VELTRIX_DIST_DIR}/version.txt ${VELTRIX_VERSION})

set(VELTRIX_DIST_DOCS ${VELTRIX_DIST_DIR}/docs)
set(VELTRIX_DIST_DOC_FILES ${VELTRIX_DIST_DOCS}/README.txt ${VELTRIX_DIST_DOCS}/LICENSE.txt
                           ${VELTRIX_DIST_DOCS}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${VELTRIX_DIST_DOC_FILES}
                   COMMAND ${VELTRIX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-release-docs
                           ${CMAKE_CURRENT_SOURCE_DIR} ${VELTRIX_DIST_DOCS}
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-release-docs ${CMAKE_CURRENT_SOURCE_DIR}/README.md
                           ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE VERBATIM)
add_custom_target(dist_docs DEPENDS ${VELTRIX_DIST_DOC_FILES})

find_program(VELTRIX_MAKENSIS makensis)
if(NOT VELTRIX_MAKENSIS)
    message(WARNING "makensis not found: run tools/setup (as root) to install NSIS; then configure again.")
endif()

# The program as it is shipped: without its debug information (three quarters of the file), which only
# the build's own bin/Veltrix.exe keeps for reading crash reports. The symbol table stays, so that the
# crash reporter's stack still names functions.
function(veltrix_shipped_program program output)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${CMAKE_STRIP} --strip-debug -o ${output} $<TARGET_FILE:${program}>
                       DEPENDS ${program} VERBATIM)
endfunction()

# The installer of the shipped `program` as version `version`, written to `output`.
function(veltrix_installer target version program output)
    if(NOT VELTRIX_MAKENSIS)
        add_custom_target(${target} ALL COMMAND ${CMAKE_COMMAND} -E echo "NSIS is missing: run tools/setup (as root)"
                          COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
        return()
    endif()
    set(script ${CMAKE_CURRENT_SOURCE_DIR}/installer/Veltrix.nsi)
    set(icon ${CMAKE_CURRENT_SOURCE_DIR}/resources/Veltrix.ico)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${VELTRIX_MAKENSIS} -V2 -DVERSION=${version} -DPROGRAM=${program}
                               -DDOCS=${VELTRIX_DIST_DOCS} -DICON=${icon} -DOUTFILE=${output} ${script}
                       DEPENDS ${program} ${script} ${icon} ${VELTRIX_DIST_DOC_FILES} VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

set(VELTRIX_SHIPPED ${VELTRIX_DIST_DIR}/Veltrix.exe)
veltrix_shipped_program(Veltrix ${VELTRIX_SHIPPED})
set(VELTRIX_SETUP ${VELTRIX_DIST_DIR}/Veltrix-${VELTRIX_VERSION}-setup.exe)
veltrix_installer(installer ${VELTRIX_VERSION} ${VELTRIX_SHIPPED} ${VELTRIX_SETUP})

# The portable zip: one folder with the program, an empty portable.dat (settings and cache stay beside
# the program) and the texts.
set(VELTRIX_PORTABLE_ZIP ${VELTRIX_DIST_DIR}/Veltrix-${VELTRIX_VERSION}-portable.zip)
set(stage ${VELTRIX_DIST_DIR}/portable)
add_custom_command(OUTPUT ${VELTRIX_PORTABLE_ZIP}
                   COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/Veltrix
                   COMMAND ${CMAKE_COMMAND} -E copy ${VELTRIX_SHIPPED} ${VELTRIX_DIST_DOC_FILES} ${stage}/Veltrix
                   COMMAND ${CMAKE_COMMAND} -E touch ${stage}/Veltrix/portable.dat
                   COMMAND ${VELTRIX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-zip ${stage}/Veltrix
                           ${VELTRIX_PORTABLE_ZIP}
                   DEPENDS ${VELTRIX_SHIPPED} ${VELTRIX_DIST_DOC_FILES} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-zip
                           VERBATIM)
add_custom_target(portable_zip ALL DEPENDS ${VELTRIX_PORTABLE_ZIP})
add_custom_target(dist_artefacts DEPENDS installer portable_zip)

# For the installer's tests: an installer of an older version, installed first and then replaced.
veltrix_shipped_program(veltrix_1_09 ${VELTRIX_DIST_DIR}/older/Veltrix.exe)
veltrix_installer(installer_1_09 1.09 ${VELTRIX_DIST_DIR}/older/Veltrix.exe
                  ${VELTRIX_DIST_DIR}/older/Veltrix-1.09-setup.exe)
