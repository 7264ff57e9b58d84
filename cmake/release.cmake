# The release package (preset "release"). This configuration compiles
# nothing itself: its one target runs scripts/release.sh, which builds the
# launchers and the checker in folders of their own, signs, checks and packs
# them. The settings live in this cache, where the script reads them.
set(ZARNOWEL_SIGN_PKCS12 "" CACHE FILEPATH
  "PKCS#12 certificate to sign with (empty: the environment variable of this name, else unsigned)")
set(ZARNOWEL_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the certificate's password")
set(ZARNOWEL_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server (optional)")
set(ZARNOWEL_RELEASE_BUILD_ROOT "${CMAKE_SOURCE_DIR}/build" CACHE PATH
  "Where the release-win32, release-win64 and release-stage folders go")
set(ZARNOWEL_DIST_DIR "${CMAKE_SOURCE_DIR}/dist" CACHE PATH "Where zarnowel-<version>.zip goes")

add_custom_target(release ALL
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/release.sh --cache ${CMAKE_BINARY_DIR}/CMakeCache.txt
  USES_TERMINAL VERBATIM)
