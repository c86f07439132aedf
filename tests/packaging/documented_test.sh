#!/usr/bin/env bash
# Every option and command a program's --help names is in its manual page and, for the
# command-line tools, in its bash completion. Usage: documented_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
source_dir=$1 build_dir=$2
missing=0
for program in zefto zefto-convert zefto-records; do
  help=$(QT_QPA_PLATFORM=offscreen "$build_dir/$program" --help)
  words=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
  # zefto-records lists its commands indented under "Commands:".
  words+=" "$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p' <<<"$help")
  page=$(sed 's/\\-/-/g' "$build_dir/packaging/$program.1")
  completion=$source_dir/packaging/completion/$program
  for w in $words; do
    grep -qF -- "$w" <<<"$page" || { echo "$program: '$w' is not in its manual page" >&2; missing=1; }
    if [ -f "$completion" ] && ! grep -qw -- "$w" "$completion"; then
      echo "$program: '$w' is not in its bash completion" >&2
      missing=1
    fi
  done
done
exit $missing
