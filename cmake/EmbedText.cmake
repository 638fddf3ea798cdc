# Writes OUTPUT: a header defining `inline constexpr const char* NAME` with the bytes of INPUT.
file(READ "${INPUT}" content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${content}")
file(WRITE "${OUTPUT}.tmp" "#pragma once\n// Generated from ${INPUT}; do not edit.\nnamespace mwdx {\ninline constexpr const char* ${NAME} = \"${escaped}\";\n}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
