#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs the examples of the given documents with the built saltcrypt and
# checks that each prints what the document shows.  An example is a
# literal block (a ``` fence, or .Bd -literal in a manual page) holding
# "$ " command lines; its other lines are the output shown, in which
# "<...>" stands for any text.  Each example runs with -e and -o
# pipefail, as a careful script would.
set -u
bindir=$1
shift
export PATH="$bindir:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

for doc in "$@"; do
	rm -f "$work"/block.*
	awk -v dir="$work" -v roff="$([[ $doc == *.1 ]] && echo 1)" '
		/^\.Bd -literal/ || (/^```/ && !inside) { inside = 1; n++; next }
		/^\.Ed/ || /^```/ { inside = 0; next }
		inside {
			if (roff) gsub(/\\e/, "\\")
			if (substr($0, 1, 2) == "$ ")
				print substr($0, 3) > (dir "/block." n ".sh")
			else
				print > (dir "/block." n ".out")
		}' "$doc"
	for script in "$work"/block.*.sh; do
		[ -e "$script" ] || continue
		want=$(cat "${script%.sh}.out" 2>/dev/null)
		got=$(cd "$work" && bash -e -o pipefail "$script" 2>&1)
		status=$?
		pattern=$(printf '%s' "$want" | sed -e 's/[][*?\\]/\\&/g' -e 's/<[^>]*>/*/g')
		# shellcheck disable=SC2053 # the right side is a pattern
		if [ "$status" -ne 0 ] || [[ $got != $pattern ]]; then
			printf '%s: example failed (status %d):\n%s\n--- shown:\n%s\n--- got:\n%s\n' \
				"$doc" "$status" "$(cat "$script")" "$want" "$got"
			failed=1
		fi
	done
done
exit "$failed"
