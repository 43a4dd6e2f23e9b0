# Turns the token table (a TSV file) into a C++ source that holds it as one
# raw string: the program reads its table from the data, never from a copy
# typed again. Run at build time: cmake -DIN=... -DOUT=... -P embed-table.cmake
file(READ ${IN} table)
get_filename_component(name ${IN} NAME)
file(WRITE ${OUT}
  "// Made from ${name} at build time: edit the table, not this file.\n"
  "extern const char kTokenTable[];\n"
  "const char kTokenTable[] = R\"tsv(${table})tsv\";\n")
