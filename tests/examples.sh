#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs the examples of the given documents with the built saltcrypt and
# checks that each prints what the document shows.  An example is a
# literal block (a ``` fence, or .Bd -literal in a manual page) holding
# "$ " command lines, and "# " ones for root; its other lines are the
# output shown, in which "<...>" stands for any text.  Each example runs
# with -e and -o pipefail, as a careful script would, with "password" and
# a newline on its standard input, as though typed.
#
# "user" runs the examples without root's lines; "root" those with them,
# as root in a mount namespace of its own, over a copy of /etc that has a
# user alice, so that it changes nothing of the machine's.  Where that
# cannot be had (not root, or in a chroot, where the namespace's mounts
# cannot be made private), it says why and exits 77, a skip.
# Usage: examples.sh user|root BINDIR DOCUMENT...
set -u
who=$1
bindir=$2
shift 2
if [ "$who" = root ] && ! { [ "$(id -u)" -eq 0 ] && command -v useradd >/dev/null &&
	unshare --mount --propagation private true 2>/dev/null; }; then
	echo "skipped: root's examples need root and a private mount namespace"
	exit 77
fi
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
			if (substr($0, 1, 2) == "# ")
				print "" > (dir "/block." n ".root")
			if (substr($0, 1, 2) == "$ " || substr($0, 1, 2) == "# ")
				print substr($0, 3) > (dir "/block." n ".sh")
			else
				print > (dir "/block." n ".out")
		}' "$doc"
	for script in "$work"/block.*.sh; do
		[ -e "$script" ] || continue
		want=$(cat "${script%.sh}.out" 2>/dev/null)
		kind=user
		[ -e "${script%.sh}.root" ] && kind=root
		if [ "$kind" != "$who" ]; then
			continue
		elif [ "$who" = user ]; then
			got=$(cd "$work" && printf 'password\n' | bash -e -o pipefail "$script" 2>&1)
			status=$?
		else
			rm -rf "$work/etc"
			cp -a /etc "$work/etc"
			got=$(cd "$work" && unshare --mount --propagation private sh -c '
				mount --bind "$1/etc" /etc && useradd -M alice && exec bash -e -o pipefail "$2"' \
				sh "$work" "$script" 2>&1)
			status=$?
		fi
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
