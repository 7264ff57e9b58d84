# Generated headers: the version (every configuration; the core includes it)
# and the distributor's values of the version block (the resource script only).
set(ZARNOWEL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/zarnowel_version.h.in
               ${ZARNOWEL_GENERATED_DIR}/zarnowel_version.h @ONLY)

set(ZARNOWEL_COMMENTS "Chained installation launcher" CACHE STRING "Version block: Comments")
set(ZARNOWEL_COMPANY_NAME "Zarnowel" CACHE STRING "Version block: CompanyName")
set(ZARNOWEL_LEGAL_COPYRIGHT "Copyright (C) Zarnowel" CACHE STRING "Version block: LegalCopyright")
set(ZARNOWEL_PRODUCT_NAME "Zarnowel" CACHE STRING "Version block: ProductName")

# zw_rc_string(OUT VALUE NAME): VALUE, of the cache variable NAME, as a quoted
# resource-script string. The script goes through the C preprocessor and then
# windres, which reads a doubled quote as one quote and a backslash as the
# start of an escape. A line break would end the #define early: refused.
string(ASCII 1 ZW_CTRL_FIRST)
string(ASCII 31 ZW_CTRL_LAST)
string(ASCII 127 ZW_CTRL_DEL)
function(zw_rc_string out value name)
  if(value MATCHES "[${ZW_CTRL_FIRST}-${ZW_CTRL_LAST}${ZW_CTRL_DEL}]")
    message(FATAL_ERROR "${name}: a version-block value may hold no control characters or line breaks: '${value}'")
  endif()
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\"\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()

foreach(key COMMENTS COMPANY_NAME LEGAL_COPYRIGHT PRODUCT_NAME)
  zw_rc_string(ZW_RC_${key} "${ZARNOWEL_${key}}" ZARNOWEL_${key})
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zarnowel_distributor.h.in
               ${ZARNOWEL_GENERATED_DIR}/res/zarnowel_distributor.h @ONLY)
