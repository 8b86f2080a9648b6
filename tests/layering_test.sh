#!/usr/bin/env bash
# The core's folders are layers: a folder includes only itself and folders
# below it, so that no step calls back up and there are no cycles. Reads
# every #include of the core and fails on one that points upward.
set -u
cd "$1" || exit 1
layers=(base numeric recording charts modelcell spikes firingclamp analyses session actions)
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }
failed=0
for from in "${layers[@]}"; do
  r=$(rank "$from")
  while IFS=: read -r file line to; do
    t=$(rank "$to")
    if [ "$t" -lt 0 ] || [ "$t" -gt "$r" ]; then
      echo "$file:$line: $from includes $to, which is not below it"
      failed=1
    fi
  done < <(grep -n -o '#include "[a-z]*/' "$from"/*.h "$from"/*.cpp 2>/dev/null | sed 's/#include "//; s/\/$//')
done
[ "$failed" -eq 0 ] && echo "layers in order: ${layers[*]}"
exit "$failed"
