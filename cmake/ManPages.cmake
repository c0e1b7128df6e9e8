# Manual pages made by help2man from a program's --help, with a hand-written part (EXAMPLES and
# the like) from docs/man/<program>.h2m. The program runs at build time, so the build must be
# able to run what it builds (no cross-compiling the pages).
find_program(HELP2MAN_PROGRAM help2man)

function(isilon_add_man_page target description)
  if(NOT HELP2MAN_PROGRAM)
    message(FATAL_ERROR "help2man is needed for the manual page of ${target} (Debian package help2man)")
  endif()
  set(include_file ${CMAKE_SOURCE_DIR}/docs/man/${target}.h2m)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  # The version is given, so the program needs no --version; --no-info: there is no Texinfo manual.
  add_custom_command(OUTPUT ${page}
    COMMAND ${HELP2MAN_PROGRAM} --no-info --section=1 "--name=${description}"
            "--version-string=${target} ${PROJECT_VERSION}" --source=${PROJECT_NAME}
            --include=${include_file}
            --output=${page} $<TARGET_FILE:${target}>
    DEPENDS ${target} ${include_file}
    COMMENT "Manual page ${target}.1"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# A manual page the program writes itself (`<program> __man INCLUDE PAGE`), from its own command
# tree, so that every command, option and example is there; the hand-written sections come from
# docs/man/<program>.h2m in the same form help2man reads.
function(isilon_add_generated_man_page target)
  set(include_file ${CMAKE_SOURCE_DIR}/docs/man/${target}.h2m)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND $<TARGET_FILE:${target}> __man ${include_file} ${page}
    DEPENDS ${target} ${include_file}
    COMMENT "Manual page ${target}.1"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
