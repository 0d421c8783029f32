#!/usr/bin/env bash
# Checks Windows executables against what Windows 98/Me, 2000, XP and XP x64
# provide: every imported DLL must be one of the system DLLs those versions
# ship, no imported function may come from the deny-list of later additions
# (most of them pulled in silently by a C or C++ runtime feature), and an
# i686 program must declare OS and subsystem version 4.0 at most, or Windows
# 2000 and 9x refuse to start it.
#
# Only the import table is read: a DLL loaded at run time (LoadLibraryA, or
# the delay-load libraries dlltool makes, which leave the PE delay-import
# directory empty) is not seen. A filled delay-import directory is reported.
#
# Usage: check-imports.sh [--arch i686|x86_64] FILE...
# Prints one line per problem and "imports ok: FILE" per good file.
# Exit status: 0 all files pass, 1 a file has a problem, 2 usage error or a
# missing file. OBJDUMP overrides the objdump used.
set -u -o pipefail

readonly allowed_dlls=(kernel32 user32 gdi32 comctl32 comdlg32 advapi32
  shell32 msvcrt setupapi cfgmgr32)

# Functions that exist only on Vista and later, or in a newer C runtime
# than the msvcrt.dll of the targets.
readonly denied_functions=(GetTickCount64 AddVectoredExceptionHandler
  RemoveVectoredExceptionHandler GetModuleHandleExA GetModuleHandleExW
  TryEnterCriticalSection GetHandleInformation SetProcessAffinityMask
  CreateHardLinkW FindFirstVolumeW FindNextVolumeW FindVolumeClose
  GetFileSizeEx _aligned_malloc _aligned_free _fstat64 _stat64 _wstat64
  _time64 _localtime64 _mktime64 _strtoi64 _strtoui64 _snprintf_s
  __uncaught_exception)

usage() {
  echo "usage: $(basename "$0") [--arch i686|x86_64] FILE..." >&2
  exit 2
}

arch=""
files=()
while (($# > 0)); do
  case "$1" in
    --arch) (($# >= 2)) || usage; arch="$2"; shift 2 ;;
    --arch=*) arch="${1#--arch=}"; shift ;;
    -h | --help) echo "usage: $(basename "$0") [--arch i686|x86_64] FILE..."; exit 0 ;;
    --) shift; files+=("$@"); break ;;
    -*) echo "$(basename "$0"): unknown option $1" >&2; usage ;;
    *) files+=("$1"); shift ;;
  esac
done
case "$arch" in
  "" | i686 | x86_64) ;;
  *) echo "$(basename "$0"): --arch must be i686 or x86_64, not '$arch'" >&2; usage ;;
esac
((${#files[@]} > 0)) || usage

missing=0
for file in "${files[@]}"; do
  if [[ ! -f "$file" ]]; then
    echo "$file: no such file" >&2
    missing=1
  fi
done
((missing == 0)) || exit 2

# An objdump that reads PE files: preferably one that reads both kinds, so
# that an executable of the wrong kind is named as such, else one that reads
# the kind asked for.
reads_formats() {
  local tool="$1" targets format
  command -v "$tool" >/dev/null || return 1
  targets="$("$tool" --help 2>/dev/null | grep 'supported targets')" || return 1
  shift
  for format in "$@"; do
    [[ " $targets " == *" $format "* ]] || return 1
  done
}

pick_objdump() {
  if [[ -n "${OBJDUMP:-}" ]]; then
    echo "$OBJDUMP"
    return 0
  fi
  local candidates=(x86_64-w64-mingw32-objdump objdump i686-w64-mingw32-objdump)
  local wanted=pei-x86-64 tool
  [[ "$arch" == i686 ]] && wanted=pei-i386
  for tool in "${candidates[@]}"; do
    reads_formats "$tool" pei-i386 pei-x86-64 && { echo "$tool"; return 0; }
  done
  for tool in "${candidates[@]}"; do
    reads_formats "$tool" "$wanted" && { echo "$tool"; return 0; }
  done
  return 1
}

if ! objdump_tool="$(pick_objdump)"; then
  echo "$(basename "$0"): no objdump that reads PE files (install binutils-mingw-w64)" >&2
  exit 2
fi

# Turns `objdump -p` output into records, one a line:
#   FORMAT pei-i386 | OS major minor | SUBSYSTEM major minor |
#   DELAY size | DLL name | FUNC dll name   (name "#n" for an ordinal import)
summarize() {
  awk '
    /file format / { print "FORMAT", $NF }
    $1 == "MajorOSystemVersion" { osMajor = $2 }
    $1 == "MinorOSystemVersion" { print "OS", osMajor, $2 }
    $1 == "MajorSubsystemVersion" { subMajor = $2 }
    $1 == "MinorSubsystemVersion" { print "SUBSYSTEM", subMajor, $2 }
    $1 == "Entry" && /Delay Import Directory/ { print "DELAY", $4 }
    /^\tDLL Name: / { dll = $3; print "DLL", dll; inDll = 1; next }
    inDll && /^[ \t]*$/ { inDll = 0; next }
    inDll && /^\tvma:/ { next }
    inDll && /^\t[0-9a-fA-F]+\t/ {
      name = ($3 == "<none>" || $3 == "") ? "#" $2 : $3
      print "FUNC", dll, name
    }
  '
}

version_above_4_0() {
  local major="$1" minor="$2"
  ((10#$major > 4 || (10#$major == 4 && 10#$minor > 0)))
}

is_allowed_dll() {
  local base="${1,,}" allowed
  base="${base%.dll}"
  for allowed in "${allowed_dlls[@]}"; do
    [[ "$base" == "$allowed" ]] && return 0
  done
  return 1
}

is_denied_function() {
  local denied
  for denied in "${denied_functions[@]}"; do
    [[ "$1" == "$denied" ]] && return 0
  done
  return 1
}

# Prints the problems of one file; returns 1 when there is any.
check_file() {
  local file="$1" dump records problems=0
  if ! dump="$("$objdump_tool" -p -- "$file" 2>&1)" || ! grep -q 'file format pei-' <<<"$dump"; then
    echo "$file: not a PE executable that $objdump_tool can read"
    return 1
  fi
  records="$(summarize <<<"$dump")"

  local format
  format="$(awk '$1 == "FORMAT" { print $2; exit }' <<<"$records")"
  local file_arch=""
  case "$format" in
    pei-i386) file_arch=i686 ;;
    pei-x86-64) file_arch=x86_64 ;;
  esac
  if [[ -n "$arch" && "$file_arch" != "$arch" ]]; then
    echo "$file: is $format, not an $arch executable"
    problems=1
  fi

  local kind a b _
  while read -r kind a b _; do
    case "$kind" in
      OS | SUBSYSTEM)
        if [[ "$file_arch" == i686 ]] && version_above_4_0 "$a" "$b"; then
          local what="OS version"
          [[ "$kind" == SUBSYSTEM ]] && what="subsystem version"
          echo "$file: $what $a.$b is above 4.0"
          problems=1
        fi
        ;;
      DELAY)
        if [[ -n "$a" && "$a" != 00000000 ]]; then
          echo "$file: has delay-load imports, which this check cannot read"
          problems=1
        fi
        ;;
      DLL)
        if ! is_allowed_dll "$a"; then
          echo "$file: imports from $a, which is not a DLL of the target Windows versions"
          problems=1
        fi
        ;;
      FUNC)
        if is_denied_function "$b"; then
          echo "$file: imports $b from $a, which the target Windows versions lack"
          problems=1
        fi
        ;;
    esac
  done <<<"$records"
  return "$problems"
}

status=0
for file in "${files[@]}"; do
  if check_file "$file"; then
    echo "imports ok: $file"
  else
    status=1
  fi
done
exit "$status"
