# korvale_gzip(INPUT OUTPUT): OUTPUT is INPUT compressed as Debian ships documentation: at the
# highest level, and without the name or time in the header (-n), so a page always gives the
# same bytes.
find_program(KORVALE_GZIP gzip REQUIRED)
function(korvale_gzip input output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" -9n <\"$1\" >\"$2\"" ${KORVALE_GZIP} ${input} ${output}
    DEPENDS ${input}
    VERBATIM)
endfunction()
