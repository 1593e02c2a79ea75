#!/bin/sh
# What the executable's folder check needs of the assembled programs, and its
# refusal through the real Duzavide.exe.
#
#   executable_folder_test.sh imports OBJDUMP PROGRAM...
#     Fails when a program's import table names a library the system does not
#     always take from its own folder (its known DLLs): the loader would look for
#     it in the program's folder first, before the program could check that folder.
#   executable_folder_test.sh linked-launch WINE_RUN APP_FOLDER WORK_FOLDER
#     Starts Duzavide.exe through a link to its folder: exit code 1 and one line on
#     standard error saying so, so nothing else (no host log line) ran.
set -u
case $1 in
imports)
  objdump=$2
  shift 2
  known=" ADVAPI32 CLBCATQ COMBASE COMDLG32 COML2 DIFXAPI GDI32 GDIPLUS IMAGEHLP IMM32 KERNEL32 \
MSCTF MSVCRT NORMALIZ NSI NTDLL OLE32 OLEAUT32 PSAPI RPCRT4 SECHOST SETUPAPI SHCORE SHELL32 \
SHLWAPI USER32 WLDAP32 WS2_32 "
  status=0
  for program in "$@"; do
    for dll in $("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
      name=$(echo "${dll%.*}" | tr '[:lower:]' '[:upper:]')
      case $known in
      *" $name "*) ;;
      *) echo "$(basename "$program") imports $dll, which is not a known DLL" >&2; status=1 ;;
      esac
    done
  done
  exit $status
  ;;
linked-launch)
  wine_run=$2 app=$3 work=$4
  mkdir -p "$work" && rm -f "$work/linked-app" && ln -s "$app" "$work/linked-app" || exit 1
  "$wine_run" "$work/linked-app/Duzavide.exe" >"$work/stdout" 2>"$work/stderr"
  status=$?
  if [ $status -ne 1 ] || [ "$(wc -l <"$work/stderr")" -ne 1 ] ||
     ! grep -q "does not start from .*started through a link" "$work/stderr"; then
    echo "started through a link: exit code $status, standard error:" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  ;;
esac
