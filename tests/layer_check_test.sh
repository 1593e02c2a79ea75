#!/bin/sh
# The layer check passes on the tree as it is, and names the file and line of an
# upward include planted in a copy of it.
set -eu
check=$1
root=$2
"$check" --root "$root"
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
for folder in base config channel bridge tunnel shell; do
  [ -d "$root/$folder" ] && cp -r "$root/$folder" "$copy/"
done
printf '#include "shell/flutter_window.h"\n' >>"$copy/channel/method_call.h"
line=$(wc -l <"$copy/channel/method_call.h")
if output=$("$check" --root "$copy"); then
  echo "an include of shell/ from channel/ passed the check"
  exit 1
fi
[ "$output" = "channel/method_call.h:$line: channel/ may not include shell/flutter_window.h" ] || {
  echo "unexpected report: $output"
  exit 1
}
