#!/bin/sh
# The layer check passes on the tree as it is, and names the file and line of an
# upward include, of an include between two parts of tunnel/, and of a part's
# include of tunnel/'s root, each planted in a copy of the tree.
set -eu
check=$1
root=$2
"$check" --root "$root"

# plant FILE HEADER EXPECTED_PREFIX: the check must fail with exactly
# "<FILE>:<line>: <EXPECTED_PREFIX> may not include <HEADER>".
plant() {
  copy=$(mktemp -d)
  for folder in base config channel bridge tunnel shell; do
    [ -d "$root/$folder" ] && cp -r "$root/$folder" "$copy/"
  done
  printf '#include "%s"\n' "$2" >>"$copy/$1"
  line=$(wc -l <"$copy/$1")
  if output=$("$check" --root "$copy"); then
    echo "an include of $2 from $1 passed the check"
    rm -rf "$copy"
    exit 1
  fi
  rm -rf "$copy"
  [ "$output" = "$1:$line: $3 may not include $2" ] || {
    echo "unexpected report: $output"
    exit 1
  }
}

plant channel/method_call.h shell/flutter_window.h channel/
plant tunnel/network/network_path.h tunnel/proxy_setting/proxy_options.h tunnel/network/
plant tunnel/data_folder/plain_file.h tunnel/core/core_trust.h tunnel/data_folder/
plant tunnel/proxy_setting/proxy_options.h tunnel/tunnel_session.h tunnel/proxy_setting/
