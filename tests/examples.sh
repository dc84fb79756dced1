#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs the examples of the given documents with the built saltcrypt and
# checks that each prints what the document shows.  An example is a
# literal block (a ``` fence, or .Bd -literal in a manual page) holding
# "$ " command lines, and "# " ones for root; its other lines are the
# output shown: those that start "saltcrypt: " on standard error, the
# rest on standard output, each compared apart.  In them "<...>" stands
# for the characters of a salt or hash, within one line.  Each example
# runs with -e and -o pipefail, as a careful script would, with
# "password" and a newline on its standard input, as though typed, in
# the C locale, so that nothing but saltcrypt's output is judged.
#
# "user" runs the examples without root's lines; "root" those with them,
# as root in a mount namespace of its own, over a copy of /etc that has a
# user alice, so that it changes nothing of the machine's; and then
# checks with su that a field left by a failed saltcrypt -q lets no
# password in, where a hash made as the README shows lets the right one.
# Where that cannot be had (not root, root of a user namespace, which
# owns too little of /etc, or in a chroot, where the namespace's mounts
# cannot be made private), it says why and exits 77, a skip.
# Usage: examples.sh user|root BINDIR DOCUMENT...
set -u
who=$1
bindir=$2
shift 2
if [ "$who" = root ] && ! { [ "$(id -u)" -eq 0 ] && [ "$(awk '{ print $3 }' /proc/self/uid_map)" = 4294967295 ] &&
	command -v useradd su setpriv >/dev/null && unshare --mount --propagation private true 2>/dev/null; }; then
	echo "skipped: root's examples need root of the whole system, su, setpriv and a private mount namespace"
	exit 77
fi
export PATH="$bindir:$PATH" LC_ALL=C
exec 3>&2 # where the setup's own messages go, apart from an example's
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Runs a script as root over a fresh copy of /etc that has alice.
as_root() {
	rm -rf "$work/etc"
	cp -a /etc "$work/etc" 2>&3
	unshare --mount --propagation private sh -c '
		mount --bind "$1/etc" /etc && useradd -M alice && exec bash -e -o pipefail "$2"' sh "$work" "$1"
}

# The shown lines as one pattern, each "<...>" the characters of a salt
# or hash.
pattern() {
	local re
	re=$(sed -e 's/[][\\.^$*+?(){}|]/\\&/g' -e 's/<[^>]*>/[.\/0-9A-Za-z]*/g')
	printf '^%s$' "$re"
}

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
			else if (substr($0, 1, 11) == "saltcrypt: ")
				print > (dir "/block." n ".err")
			else
				print > (dir "/block." n ".out")
		}' "$doc"
	for script in "$work"/block.*.sh; do
		[ -e "$script" ] || continue
		kind=user
		[ -e "${script%.sh}.root" ] && kind=root
		[ "$kind" = "$who" ] || continue
		if [ "$who" = user ]; then
			(cd "$work" && printf 'password\n' | bash -e -o pipefail "$script") >"$work/got.out" 2>"$work/got.err"
		else
			(cd "$work" && printf 'password\n' | as_root "$script") >"$work/got.out" 2>"$work/got.err"
		fi
		status=$?
		ok=1
		for stream in out err; do
			want=$(cat "${script%.sh}.$stream" 2>/dev/null)
			got=$(cat "$work/got.$stream")
			re=$(printf '%s' "$want" | pattern)
			[[ $got =~ $re ]] || ok=
		done
		if [ "$status" -ne 0 ] || [ -z "$ok" ]; then
			printf '%s: example failed (status %d):\n%s\n--- shown:\n%s\n--- got on standard output:\n%s\n--- got on standard error:\n%s\n' \
				"$doc" "$status" "$(cat "$script")" "$(cat "${script%.sh}.out" "${script%.sh}.err" 2>/dev/null)" \
				"$(cat "$work/got.out")" "$(cat "$work/got.err")"
			failed=1
		fi
	done
done

# su as nobody, with a password on standard input, is a login: it lets in
# the password of the hash that the README's form stores, and no password
# at all where a failed saltcrypt -q left its field.
if [ "$who" = root ]; then
	cat >"$work/logins.sh" <<-'EOF'
		login() { printf '%s\n' "$1" | setpriv --reuid=65534 --regid=65534 --clear-groups su alice -c true 2>/dev/null; }
		hash=$(printf 'password\n' | saltcrypt -q '$y$') && usermod -p "$hash" alice
		login password || { echo "the password set is refused"; exit 1; }
		usermod -p "$(printf 'password\n' | saltcrypt -q sha512 2>/dev/null)" alice
		[ "$(grep '^alice:' /etc/shadow | cut -d: -f2)" = '*0' ] || { echo "no locked field"; exit 1; }
		for pw in password '' '*0'; do # at once: each refusal takes su seconds
			{ ! login "$pw" || echo "'$pw' logs in to the locked field"; } >"$pw.login" &
		done
		wait
		! grep . ./*.login
	EOF
	(cd "$work" && as_root "$work/logins.sh") || failed=1
fi
exit "$failed"
