# CPack runs this on the package tree before packing it (after the plain
# strip of CPACK_STRIP_FILES): the compiler's .comment and the .note
# sections serve no one at run time, and Debian's own packages drop them.
file(GLOB_RECURSE files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS files)
  if(NOT IS_SYMLINK "${file}")
    file(READ "${file}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${file}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endif()
endforeach()
