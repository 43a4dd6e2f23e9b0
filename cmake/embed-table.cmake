# Turns a token table (a TSV file) into a C++ source that holds it as one raw
# string named SYMBOL: the program reads its table from the data, never from a
# copy typed again. Run at build time:
#   cmake -DIN=... -DOUT=... -DSYMBOL=... -P embed-table.cmake
file(READ ${IN} table)
get_filename_component(name ${IN} NAME)
file(WRITE ${OUT}
  "// Made from ${name} at build time: edit the table, not this file.\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = R\"tsv(${table})tsv\";\n")
