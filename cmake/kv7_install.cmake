# Install plumbing shared by every program of the project: the binary, its
# section-8 man page (Markdown converted to troff by go-md2man at build time)
# and its bash completion, all in one install component, which becomes one
# Debian package (cmake/kv7_packaging.cmake).
#
#   kv7_install_program(TARGET COMPONENT comp MAN page.8.md COMPLETION file)
#
# Paths are relative to the calling CMakeLists.txt. The generated page is
# build/man/NAME.SECTION.gz; the list of installed programs is kept in the
# global property KV7_PROGRAMS (target;man page;completion per entry) for the
# checks in tests/install.
include(GNUInstallDirs)

find_program(GO_MD2MAN go-md2man)
if(NOT GO_MD2MAN)
  message(FATAL_ERROR "go-md2man not found: the man pages are built with it "
                      "(Debian package go-md2man; scripts/setup installs it)")
endif()
find_program(GZIP_PROGRAM gzip REQUIRED)

set(KV7_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

function(kv7_install_program target)
  cmake_parse_arguments(ARG "" "COMPONENT;MAN;COMPLETION" "" ${ARGN})
  if(NOT ARG_COMPONENT OR NOT ARG_MAN OR NOT ARG_COMPLETION)
    message(FATAL_ERROR "kv7_install_program(${target}): COMPONENT, MAN and COMPLETION are required")
  endif()

  # page.8.md -> page.8 through go-md2man
  get_filename_component(src ${ARG_MAN} ABSOLUTE)
  if(NOT src MATCHES "\\.[0-9]\\.md$")
    message(FATAL_ERROR "kv7_install_program(${target}): MAN takes a Markdown page NAME.SECTION.md")
  endif()
  get_filename_component(page ${src} NAME)
  string(REGEX REPLACE "\\.md$" "" page ${page})
  string(REGEX MATCH "[0-9]$" section ${page})
  set(troff ${CMAKE_BINARY_DIR}/man/${page})
  # gzip -n: no name or time stamp, so the package is reproducible
  add_custom_command(OUTPUT ${troff}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GO_MD2MAN} -in ${src} -out ${troff}
    COMMAND ${GZIP_PROGRAM} -9nf ${troff}
    DEPENDS ${src}
    COMMENT "Man page ${page}"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${troff}.gz)

  get_filename_component(completion ${ARG_COMPLETION} ABSOLUTE)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT ${ARG_COMPONENT})
  install(FILES ${troff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${ARG_COMPONENT})
  install(FILES ${completion} DESTINATION ${KV7_COMPLETION_DIR} RENAME ${target}
          COMPONENT ${ARG_COMPONENT})

  set_property(GLOBAL APPEND PROPERTY KV7_PROGRAMS "${target}|${troff}.gz|${completion}")
endfunction()
