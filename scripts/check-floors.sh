#!/usr/bin/env bash
# Checks that no source folder includes a folder on its own or a higher floor.
# The floors are the table in docs/architecture.md ("| N | `a/`, `b/` | ...").
# Usage: check-floors.sh [REPOSITORY]   (default: this script's repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

declare -A floor
while IFS='|' read -r _ number folders _; do
  number=$(echo "$number" | tr -d ' ')
  [[ "$number" =~ ^[0-9]+$ ]] || continue
  for folder in $(echo "$folders" | grep -o '`[a-z]*/`' | tr -d '`/'); do floor[$folder]=$number; done
done < "$root/docs/architecture.md"
[ "${#floor[@]}" -gt 0 ] || { echo "no floors found in docs/architecture.md" >&2; exit 1; }

status=0
for dir in "$root"/src/*/; do
  from=$(basename "$dir")
  if [ -z "${floor[$from]:-}" ]; then
    echo "src/$from/ stands on no floor of docs/architecture.md" >&2
    status=1
    continue
  fi
  while IFS=: read -r file line target; do
    [ "$target" = "$from" ] && continue
    if [ -z "${floor[$target]:-}" ] || [ "${floor[$target]}" -ge "${floor[$from]}" ]; then
      echo "${file#"$root"/}:$line includes $target/ (floor ${floor[$target]:-none}) from floor ${floor[$from]}" >&2
      status=1
    fi
  done < <(grep -Hno '^#include "[a-z]*/' "$dir"*.h "$dir"*.cpp 2>/dev/null | sed 's/#include "\([a-z]*\)\//\1/')
done
[ "$status" = 0 ] && echo "every include runs down the floors (${#floor[@]} folders)"
exit "$status"
