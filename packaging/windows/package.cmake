# The Windows release files, included by the Windows project
# (platform/win32): scripts/package.sh builds them.
#   cpack                               -> Guizzolo-VERSION-win64.zip, the
#                                          portable pet in one folder
#   cmake --build . --target guizzolo_setup
#                                       -> Guizzolo-VERSION-setup.exe (makensis)
# Both in ${CMAKE_BINARY_DIR}/package.
include(${GUIZZOLO_ROOT}/packaging/about.cmake)
set(GUIZZOLO_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

# The two short texts, with Windows line ends (the sources start with a
# UTF-8 byte order mark, for old Notepads).
set(docs)
foreach(doc LEGGIMI.txt README.txt)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${doc} ${CMAKE_BINARY_DIR}/docs/${doc} @ONLY NEWLINE_STYLE CRLF)
  list(APPEND docs ${CMAKE_BINARY_DIR}/docs/${doc})
endforeach()
set(sounds Sound.wav Sound2.wav Sound3.wav Sound4.wav)
list(TRANSFORM sounds PREPEND ${GUIZZOLO_ASSET_DIR}/ OUTPUT_VARIABLE sound_files)

# One stripped copy of the program for both files (strip stamps the time
# into a PE file, so two strips would give two different programs).
set(release_exe ${CMAKE_BINARY_DIR}/release/NuvoNuvo.exe)
add_custom_command(OUTPUT ${release_exe}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/release
  COMMAND ${CMAKE_STRIP} -o ${release_exe} $<TARGET_FILE:NuvoNuvo>
  DEPENDS NuvoNuvo
  VERBATIM)
add_custom_target(guizzolo_release_exe ALL DEPENDS ${release_exe})

# The zip: everything in one folder, the program folder.
install(PROGRAMS ${release_exe} DESTINATION .)
install(FILES ${sound_files} ${docs} DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${GUIZZOLO_DISPLAY_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${GUIZZOLO_PUBLISHER})
set(CPACK_PACKAGE_FILE_NAME ${GUIZZOLO_DISPLAY_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${GUIZZOLO_PACKAGE_DIR})
include(CPack)

# The installer: our own script, on the same files.
find_program(GUIZZOLO_MAKENSIS makensis)
if(GUIZZOLO_MAKENSIS)
  set(stage ${CMAKE_BINARY_DIR}/setup-stage)
  set(setup ${GUIZZOLO_PACKAGE_DIR}/${GUIZZOLO_DISPLAY_NAME}-${PROJECT_VERSION}-setup.exe)
  add_custom_command(OUTPUT ${setup}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage} ${GUIZZOLO_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${release_exe} ${sound_files} ${docs} ${stage}
    COMMAND ${GUIZZOLO_MAKENSIS} -V2 -NOCD
      -DVERSION=${PROJECT_VERSION}
      -DPUBLISHER=${GUIZZOLO_PUBLISHER}
      -DHOMEPAGE=${GUIZZOLO_HOMEPAGE}
      -DSTAGE=${stage}
      -DICON=${GUIZZOLO_ASSET_DIR}/guizzolo.ico
      -DOUTFILE=${setup}
      ${CMAKE_CURRENT_LIST_DIR}/guizzolo.nsi
    DEPENDS ${release_exe} ${sound_files} ${docs} ${CMAKE_CURRENT_LIST_DIR}/guizzolo.nsi
      ${GUIZZOLO_ASSET_DIR}/guizzolo.ico
    VERBATIM)
  add_custom_target(guizzolo_setup DEPENDS ${setup})
endif()
