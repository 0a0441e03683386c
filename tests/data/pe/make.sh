#!/usr/bin/env bash
# Rebuilds the small Windows executables the version tests read, with the
# MinGW tools (scripts/setup windows): PE32+ and PE32 images carrying version
# resources with edge values, and images without one.
#
#   tests/data/pe/make.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'void start(void) {}' >"$work/start.c"

# version_rc FILEVERSION PRODUCTVERSION [LANGUAGE]
version_rc() {
  local file=$1 product=$2 language=${3:-}
  [[ -n $language ]] && echo "LANGUAGE $language"
  cat <<RC
1 VERSIONINFO
FILEVERSION ${file//./,}
PRODUCTVERSION ${product//./,}
FILEFLAGSMASK 0x3F
FILEOS 0x40004
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "FileVersion", "$file"
      VALUE "ProductVersion", "$product"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
}

# build NAME ARCH(x86_64|i686) KIND(exe|dll) < resource script
build() {
  local name=$1 arch=$2 kind=$3 entry=start
  [[ $arch == i686 ]] && entry=_start
  cat >"$work/$name.rc"
  local objects=("$work/start.c")
  if [[ -s "$work/$name.rc" ]]; then
    "$arch-w64-mingw32-windres" "$work/$name.rc" -O coff -o "$work/$name.o"
    objects+=("$work/$name.o")
  fi
  local flags=(-nostdlib -e "$entry" -s -Os -Wl,--no-insert-timestamp)
  [[ $kind == dll ]] && flags+=(-shared)
  "$arch-w64-mingw32-gcc" "${flags[@]}" "${objects[@]}" -o "$name"
}

version_rc 1.10.0.0 1.10.0.0 | build ver_1_10_0_0.exe x86_64 exe
version_rc 1.9.0.0 1.9.0.0 | build ver_1_9_0_0.exe x86_64 exe
version_rc 2.1.0.12 2.1.0.12 | build ver_2_1_0_12.exe x86_64 exe
version_rc 65535.65535.65535.65535 65535.65535.65535.65535 | build ver_65535.exe x86_64 exe
version_rc 2.1.0.5 2.1.0.5 | build ver_2_1_0_5_x86.exe i686 exe
version_rc 2.1.0.5 9.9.9.9 | build ver_2_1_0_5_product_9.dll x86_64 dll
{ version_rc 3.0.0.1 3.0.0.1 "0x19, 0x01"; version_rc 3.0.0.2 3.0.0.2 "0x09, 0x01"; } |
  build ver_two_languages.exe x86_64 exe
echo '1 RCDATA { "no version here" }' | build no_version.exe x86_64 exe
build no_resources.exe i686 exe </dev/null
chmod 644 ./*.exe ./*.dll
