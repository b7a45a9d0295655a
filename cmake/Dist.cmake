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

# Authenticode: with a publisher's certificate (a PKCS#12 file; `make dist CERT=` sets it, its password
# comes from VELTRIX_CODESIGN_PASS in the environment of the build), the shipped program, the uninstaller
# and the installer are signed. Without one the artefacts are unsigned.
set(VELTRIX_CODESIGN_CERT "" CACHE FILEPATH "PKCS#12 file with the publisher's code-signing certificate")
# Where the installers of releases are published, for the package manager's manifests.
set(VELTRIX_DOWNLOAD_URL "https://www.koravent.com/download" CACHE STRING "Address of the folder of published installers")
set(VELTRIX_SIGN_CODE ${CMAKE_CURRENT_SOURCE_DIR}/tools/sign-code)

# The program as it is shipped: without its debug information (three quarters of the file), which only
# the build's own bin/Veltrix.exe keeps for reading crash reports. The symbol table stays, so that the
# crash reporter's stack still names functions. `program` is the built file, `depends` what makes it,
# `strip` the binutils' strip of its architecture; `cert` (may be empty) signs it; `password` is the
# certificate's password, or empty to take it from the build's environment.
function(veltrix_shipped_program program depends strip output cert password)
    set(sign)
    if(cert)
        set(env VELTRIX_CODESIGN_CERT=${cert})
        if(password)
            list(APPEND env VELTRIX_CODESIGN_PASS=${password})
        endif()
        set(sign COMMAND ${CMAKE_COMMAND} -E env ${env} ${VELTRIX_SIGN_CODE} ${output})
    endif()
    get_filename_component(folder ${output} DIRECTORY)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
                       COMMAND ${strip} --strip-debug -o ${output} ${program}
                       ${sign}
                       DEPENDS ${program} ${depends} ${cert} VERBATIM)
endfunction()

# The installer of the shipped `program` (32-bit) and `program64` (64-bit; empty for an installer that
# carries only the 32-bit program, as those of earlier versions did) as version `version`, written to
# `output`, signed (with its uninstaller) when `cert` names a certificate.
function(veltrix_installer target version program program64 output cert password)
    if(NOT VELTRIX_MAKENSIS)
        add_custom_target(${target} ALL COMMAND ${CMAKE_COMMAND} -E echo "NSIS is missing: run tools/setup (as root)"
                          COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
        return()
    endif()
    set(script ${CMAKE_CURRENT_SOURCE_DIR}/installer/Veltrix.nsi)
    set(icon ${CMAKE_CURRENT_SOURCE_DIR}/resources/Veltrix.ico)
    set(env)
    set(sign)
    if(cert)
        set(env ${CMAKE_COMMAND} -E env VELTRIX_CODESIGN_CERT=${cert})
        if(password)
            list(APPEND env VELTRIX_CODESIGN_PASS=${password})
        endif()
        set(sign -DSIGN=${VELTRIX_SIGN_CODE})
    endif()
    set(wide)
    if(program64)
        set(wide -DPROGRAM64=${program64})
    endif()
    add_custom_command(OUTPUT ${output}
                       COMMAND ${env} ${VELTRIX_MAKENSIS} -V2 -DVERSION=${version} -DPROGRAM=${program} ${wide}
                               -DDOCS=${VELTRIX_DIST_DOCS} -DICON=${icon} -DOUTFILE=${output} ${sign} ${script}
                       DEPENDS ${program} ${program64} ${script} ${icon} ${VELTRIX_DIST_DOC_FILES} ${cert}
                               ${VELTRIX_SIGN_CODE} VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# The portable zip of the shipped `program`: one folder with the program, an empty portable.dat
# (settings and cache stay beside the program) and the texts.
function(veltrix_portable_zip target program output)
    set(stage ${output}.stage)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/Veltrix
                       COMMAND ${CMAKE_COMMAND} -E copy ${program} ${VELTRIX_DIST_DOC_FILES} ${stage}/Veltrix
                       COMMAND ${CMAKE_COMMAND} -E touch ${stage}/Veltrix/portable.dat
                       COMMAND ${VELTRIX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-zip ${stage}/Veltrix ${output}
                       COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
                       DEPENDS ${program} ${VELTRIX_DIST_DOC_FILES} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-zip
                               VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# The 64-bit program comes from the 64-bit build of the same sources, made beside this one with this
# build's update key and servers (cmake/BuildProgram64.cmake); Ninja there decides whether anything changed.
set(VELTRIX_X64_BUILD ${CMAKE_BINARY_DIR}/x64 CACHE PATH "The 64-bit build whose Veltrix.exe the release carries")
set(VELTRIX_BUILT_X64 ${VELTRIX_X64_BUILD}/bin/Veltrix.exe)
add_custom_target(program_x64
                  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR} -DBUILD=${VELTRIX_X64_BUILD}
                          -DPRODUCT_BUILD=${CMAKE_BINARY_DIR} -DKEY=${VELTRIX_UPDATE_PUBLIC_KEY}
                          -DUPDATE_HOST=${VELTRIX_UPDATE_HOST} -DREPORT_HOST=${VELTRIX_REPORT_HOST}
                          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/BuildProgram64.cmake
                  BYPRODUCTS ${VELTRIX_BUILT_X64} USES_TERMINAL VERBATIM)
find_program(VELTRIX_STRIP_X64 x86_64-w64-mingw32-strip REQUIRED)
set(VELTRIX_BUILT $<TARGET_FILE:Veltrix>)

# The release as it is published, in this build's dist/: signed when the build has a certificate.
set(VELTRIX_SHIPPED ${VELTRIX_DIST_DIR}/Veltrix.exe)
set(VELTRIX_SHIPPED_X64 ${VELTRIX_DIST_DIR}/x64/Veltrix.exe)
veltrix_shipped_program(${VELTRIX_BUILT} Veltrix ${CMAKE_STRIP} ${VELTRIX_SHIPPED} "${VELTRIX_CODESIGN_CERT}" "")
veltrix_shipped_program(${VELTRIX_BUILT_X64} program_x64 ${VELTRIX_STRIP_X64} ${VELTRIX_SHIPPED_X64}
                        "${VELTRIX_CODESIGN_CERT}" "")
set(VELTRIX_SETUP ${VELTRIX_DIST_DIR}/Veltrix-${VELTRIX_VERSION}-setup.exe)
veltrix_installer(installer ${VELTRIX_VERSION} ${VELTRIX_SHIPPED} ${VELTRIX_SHIPPED_X64} ${VELTRIX_SETUP}
                  "${VELTRIX_CODESIGN_CERT}" "")
veltrix_portable_zip(portable_zip ${VELTRIX_SHIPPED} ${VELTRIX_DIST_DIR}/Veltrix-${VELTRIX_VERSION}-portable.zip)
veltrix_portable_zip(portable_zip_x64 ${VELTRIX_SHIPPED_X64}
                     ${VELTRIX_DIST_DIR}/Veltrix-${VELTRIX_VERSION}-portable-x64.zip)
add_custom_target(dist_artefacts DEPENDS installer portable_zip portable_zip_x64)

# For the installer's tests: an installer of an older version that carries only the 32-bit program, as
# the installers before the 64-bit program did, installed first and then replaced.
veltrix_shipped_program($<TARGET_FILE:veltrix_1_09> veltrix_1_09 ${CMAKE_STRIP} ${VELTRIX_DIST_DIR}/older/Veltrix.exe
                        "" "")
veltrix_installer(installer_1_09 1.09 ${VELTRIX_DIST_DIR}/older/Veltrix.exe ""
                  ${VELTRIX_DIST_DIR}/older/Veltrix-1.09-setup.exe "" "")

# For the tests of the signed release: the same release signed with a certificate of a test authority
# made at build time, with its checksums and package manifests, in dist/signed/.
set(signed ${VELTRIX_DIST_DIR}/signed)
set(VELTRIX_TEST_CERT ${signed}/test-codesign.pfx)
add_custom_command(OUTPUT ${VELTRIX_TEST_CERT} ${signed}/test-ca.pem
                   COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-test-certificate ${signed}
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-test-certificate VERBATIM)
veltrix_shipped_program(${VELTRIX_BUILT} Veltrix ${CMAKE_STRIP} ${signed}/Veltrix.exe ${VELTRIX_TEST_CERT} test)
veltrix_shipped_program(${VELTRIX_BUILT_X64} program_x64 ${VELTRIX_STRIP_X64} ${signed}/x64/Veltrix.exe
                        ${VELTRIX_TEST_CERT} test)
set(signed_files ${signed}/Veltrix-${VELTRIX_VERSION}-setup.exe ${signed}/Veltrix-${VELTRIX_VERSION}-portable.zip
                 ${signed}/Veltrix-${VELTRIX_VERSION}-portable-x64.zip)
veltrix_installer(installer_signed ${VELTRIX_VERSION} ${signed}/Veltrix.exe ${signed}/x64/Veltrix.exe
                  ${signed}/Veltrix-${VELTRIX_VERSION}-setup.exe ${VELTRIX_TEST_CERT} test)
veltrix_portable_zip(portable_zip_signed ${signed}/Veltrix.exe ${signed}/Veltrix-${VELTRIX_VERSION}-portable.zip)
veltrix_portable_zip(portable_zip_x64_signed ${signed}/x64/Veltrix.exe
                     ${signed}/Veltrix-${VELTRIX_VERSION}-portable-x64.zip)
add_custom_command(OUTPUT ${signed}/SHA256SUMS
                   COMMAND ${VELTRIX_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-release-index ${signed}
                           ${VELTRIX_VERSION} ${VELTRIX_DOWNLOAD_URL}
                   DEPENDS installer_signed portable_zip_signed portable_zip_x64_signed ${signed_files}
                           ${CMAKE_CURRENT_SOURCE_DIR}/tools/make-release-index VERBATIM)
add_custom_target(signed_artefacts ALL DEPENDS ${signed}/SHA256SUMS)
