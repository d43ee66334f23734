# Run by CPack before it builds the Debian packages: every package carries
# its copyright notice and changelog in /usr/share/doc/<package>.
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(doc ${CPACK_TEMPORARY_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${package})
  file(MAKE_DIRECTORY ${doc})
  file(COPY_FILE ${CPACK_TESSARO_COPYRIGHT} ${doc}/copyright)
  file(WRITE ${doc}/changelog
    "${package} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
    "  * Tessaro ${CPACK_PACKAGE_VERSION}.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  ${CPACK_TESSARO_DATE}\n")
  execute_process(COMMAND gzip -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
endforeach()
