# Writes the C++ source that holds the sign page's files (every .html, .js
# and .css file of WEB_DIR) as byte arrays, for the table in WebAssets.h.
# Run as: cmake -DWEB_DIR=<dir> -DOUT=<file.cpp> -P embed.cmake
file(GLOB names RELATIVE ${WEB_DIR} ${WEB_DIR}/*.html ${WEB_DIR}/*.js ${WEB_DIR}/*.css)
list(SORT names)
set(arrays "")
set(table "")
set(i 0)
foreach(name IN LISTS names)
  file(READ ${WEB_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A line break every 16 bytes keeps the source readable.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${i}[] = {\n  ${bytes}0x00};\n")
  string(APPEND table "    {\"/${name}\", kFile${i}, ${size}},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE ${OUT}.new
  "// Generated from the files of sim/web by sim/web/embed.cmake; do not edit.\n"
  "#include \"WebAssets.h\"\n\nnamespace vexasim {\n\nnamespace {\n\n${arrays}\n}  // namespace\n\n"
  "const WebAsset kWebAssets[] = {\n${table}};\n"
  "const size_t kWebAssetCount = ${i};\n\n}  // namespace vexasim\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
