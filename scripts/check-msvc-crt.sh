#!/usr/bin/env bash
# Fails when product code calls a C runtime function that MSVC deprecates
# (warning C4996, an error under the vs2022 preset's /W4 /WX): the "unsafe"
# string, formatting, file, time and environment functions and the POSIX
# names. No MSVC runs here, so this keeps that build as buildable as can be
# checked.
#
#   scripts/check-msvc-crt.sh               the sources (grep)
#   scripts/check-msvc-crt.sh build/mingw   also the Windows objects of the
#                                           library, qvzcheck and qvzsim (nm)
#
# The sources are searched for the distinctive names; the short POSIX names
# (open, close, read, write, ...) are also member names here, so they are
# looked for only among the objects' undefined symbols, where a member call
# is mangled and a CRT call is not. POSIX-only sources (*/posix/*) never meet
# MSVC and are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

distinct=(
  strcpy strncpy strcat strncat strtok strerror strdup stricmp strnicmp strlwr strupr
  sprintf vsprintf swprintf wcscpy wcsncpy wcscat wcstok
  sscanf scanf fscanf vsscanf vscanf vfscanf swscanf
  fopen freopen tmpnam tmpfile _wfopen _open _wopen _sopen _creat
  getenv putenv
  localtime gmtime ctime asctime
  mbstowcs wcstombs mbtowc wctomb
  fileno fdopen unlink getcwd isatty itoa ltoa ultoa
)
posix=(open close read write lseek access chmod umask mkdir rmdir dup dup2 creat)

status=0
pattern="(^|[^A-Za-z0-9_.>:])(std::|::)?($(IFS='|'; echo "${distinct[*]}"))[[:space:]]*\\("
mapfile -t files < <(git ls-files 'plugin/*.cpp' 'plugin/*.h' 'emulator/*.cpp' 'emulator/*.h' \
                                  'demo/*.cpp' 'demo/*.h' | grep -v '/posix/')
hits=$(grep -nE "$pattern" "${files[@]}" | grep -vE '^[^:]+:[0-9]+:[[:space:]]*(//|\*)' || true)
if [[ -n "$hits" ]]; then
  echo "MSVC-deprecated CRT calls in product code (use the safe form, or a stream):"
  echo "$hits"
  status=1
fi
echo "sources: ${#files[@]} product files searched"

if [[ -n "${1:-}" ]]; then
  nm_tool=x86_64-w64-mingw32-nm
  mapfile -t objects < <(find "$1" -name '*.obj' \( -path '*qvzfix_objects.dir*' -o -path '*qvzsim_core.dir*' \
                                 -o -path '*qvzsim.dir*' -o -path '*qvzcheck.dir*' \))
  ((${#objects[@]})) || { echo "no Windows objects of the product under $1"; exit 1; }
  names="^($(IFS='|'; echo "${distinct[*]}|${posix[*]}"))$"
  symbols=$("$nm_tool" -u "${objects[@]}" | awk '{print $NF}' | sed 's/^__imp_//' | grep -E "$names" | sort -u || true)
  if [[ -n "$symbols" ]]; then
    echo "MSVC-deprecated CRT functions referenced by the Windows objects:"
    echo "$symbols"
    status=1
  fi
  echo "objects: ${#objects[@]} Windows objects checked"
fi
((status == 0)) && echo "MSVC CRT check passed"
exit $status
