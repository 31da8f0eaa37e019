# qdx_help2man(TARGET NAME COMPONENT)
# A program's man page made by help2man from its --help and --version at build
# time (so it cannot fall behind the program), gzipped -9n as Debian wants it,
# and installed into man1 with COMPONENT. Without help2man, no page and a warning.
find_program(HELP2MAN_PROGRAM help2man)
find_program(GZIP_PROGRAM gzip REQUIRED)

function(qdx_help2man target name component)
    if(NOT HELP2MAN_PROGRAM)
        message(WARNING "help2man not found: ${target}'s man page is not made")
        return()
    endif()
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
    add_custom_command(OUTPUT ${page} ${page}.gz
        COMMAND ${HELP2MAN_PROGRAM} --no-info --section=1 --name=${name}
                --output=${page} $<TARGET_FILE:${target}>
        COMMAND ${GZIP_PROGRAM} -9nf -k ${page}
        DEPENDS ${target}
        COMMENT "${target}.1 from its --help"
        VERBATIM)
    add_custom_target(${target}_man ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
