# Turns the two service scripts into a C++ source of byte arrays with their
# exact lengths. Run with: cmake -DCUSTOM_SH=... -DINIT_SCRIPT=... -DOUT=... -P
function(embed_one var file out_text)
  file(READ "${file}" hex HEX)
  file(SIZE "${file}" size)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  set(${out_text} "${${out_text}}const unsigned char ${var}[] = {\n${bytes}};\nconst uint32_t ${var}_size = ${size};\n\n" PARENT_SCOPE)
endfunction()

set(text "// Generated from zapret2_ctl/src/scripts by embed_scripts.cmake. Do not edit.\n#include \"embedded_scripts.h\"\n\nnamespace zapret2_ctl {\n\n")
embed_one(embedded_custom_sh "${CUSTOM_SH}" text)
embed_one(embedded_init_script "${INIT_SCRIPT}" text)
string(APPEND text "} // namespace zapret2_ctl\n")
file(WRITE "${OUT}.new" "${text}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
