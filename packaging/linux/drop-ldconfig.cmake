# CPack runs this on each finished .deb. For any shared object under
# /usr/lib, CPack writes a postinst and a postrm that only call ldconfig;
# the program's module is private to its folder and opened by its full
# path, so those calls serve nothing (and lintian warns of them). The
# package is rebuilt without exactly those two scripts: one that does
# anything else stays.
set(cpack_ldconfig_postinst "#!/bin/sh\n\nset -e\n\nif [ \"$1\" = \"configure\" ]; then\n\tldconfig\nfi\n")
set(cpack_ldconfig_postrm "#!/bin/sh\n\nset -e\n\nif [ \"$1\" = \"remove\" ]; then\n\tldconfig\nfi\n")
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  set(dropped FALSE)
  foreach(script postinst postrm)
    set(file "${tree}/DEBIAN/${script}")
    if(EXISTS "${file}")
      file(READ "${file}" text)
      if(text STREQUAL "${cpack_ldconfig_${script}}")
        file(REMOVE "${file}")
        set(dropped TRUE)
      endif()
    endif()
  endforeach()
  if(dropped)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${deb}"
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
