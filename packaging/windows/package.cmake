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

# The zip: everything in one folder, the program folder.
install(TARGETS NuvoNuvo RUNTIME DESTINATION .)
install(FILES ${sound_files} ${docs} DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${GUIZZOLO_DISPLAY_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${GUIZZOLO_PUBLISHER})
set(CPACK_PACKAGE_FILE_NAME ${GUIZZOLO_DISPLAY_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
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
    COMMAND ${CMAKE_STRIP} -o ${stage}/NuvoNuvo.exe $<TARGET_FILE:NuvoNuvo>
    COMMAND ${CMAKE_COMMAND} -E copy ${sound_files} ${docs} ${stage}
    COMMAND ${GUIZZOLO_MAKENSIS} -V2 -NOCD
      -DVERSION=${PROJECT_VERSION}
      -DPUBLISHER=${GUIZZOLO_PUBLISHER}
      -DHOMEPAGE=${GUIZZOLO_HOMEPAGE}
      -DSTAGE=${stage}
      -DICON=${GUIZZOLO_ASSET_DIR}/guizzolo.ico
      -DOUTFILE=${setup}
      ${CMAKE_CURRENT_LIST_DIR}/guizzolo.nsi
    DEPENDS NuvoNuvo ${sound_files} ${docs} ${CMAKE_CURRENT_LIST_DIR}/guizzolo.nsi
      ${GUIZZOLO_ASSET_DIR}/guizzolo.ico
    VERBATIM)
  add_custom_target(guizzolo_setup DEPENDS ${setup})
endif()
