# Where an installed reader puts its files: programs under bin/ (frptool finds
# frptool-print beside itself), the desktop's files under share/.
include(GNUInstallDirs)

install(TARGETS orvalen-reader frptool frptool-print RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The entries name the programs where they are installed, not where they were
# built, so they are written at install time: the prefix may still change
# there (cmake --install --prefix). DESTDIR only stages them.
if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
  set(_orv_bin "${CMAKE_INSTALL_BINDIR}")
else()
  set(_orv_bin "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
endif()
install(CODE "
  set(_share \"${CMAKE_BINARY_DIR}/installed-share\")
  file(REMOVE_RECURSE \"\${_share}\")
  execute_process(
    COMMAND \"$<TARGET_FILE:mkdesktop>\" \"\${_share}\" \"${_orv_bin}/orvalen-reader\"
            \"${_orv_bin}/frptool\"
    RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR \"the desktop files could not be written\")
  endif()
  file(INSTALL \"\${_share}/\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/application-x-orvalen-report.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes)
install(FILES ${PROJECT_SOURCE_DIR}/resources/man/orvalen-reader.1
              ${PROJECT_SOURCE_DIR}/resources/man/frptool.1
              ${PROJECT_SOURCE_DIR}/resources/man/frptool-print.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/completion/frptool
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
