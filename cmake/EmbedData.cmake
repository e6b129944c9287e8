# cmake -DIN=file -DOUT=file.cpp -DNAME=symbol -P EmbedData.cmake
# Writes `extern const unsigned char <NAME>[]` and `extern const unsigned <NAME>_size` holding the
# bytes of IN, so that a data file travels inside the program.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR size "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n"
  "extern const unsigned char ${NAME}[] = {\n${bytes}0};\n"
  "extern const unsigned ${NAME}_size = ${size};\n")
