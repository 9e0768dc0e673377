#!/usr/bin/env bash
# .ci/install-packages.sh as root, as a user with sudo and as a user without
# it, on a package list naming a package that is not installed. apt-get and
# sudo are stand-ins that record their calls, so nothing is installed.
# Needs root (to run the script as another user with setpriv); skipped
# (exit 77) otherwise.
# Usage: install_packages_test.sh SOURCE_DIR
set -euo pipefail
SRC=$1
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    echo "skipped: needs root and setpriv"
    exit 77
fi
TMP=$(mktemp -d /tmp/vault-install-packages-XXXXXX)
trap 'rm -rf "$TMP"' EXIT
chmod 755 "$TMP"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The script beside a list with one package that is surely not installed.
mkdir "$TMP/ci"
cp "$SRC/.ci/install-packages.sh" "$TMP/ci/"
printf '# a test list\nvault-no-such-package-for-this-test\n' >"$TMP/ci/packages.txt"

# Stand-ins: apt-get records its arguments; sudo records itself and runs the rest.
mkdir "$TMP/bin" "$TMP/bin-sudo"
cat >"$TMP/bin/apt-get" <<EOF
#!/bin/sh
echo "apt-get \$*" >>"$TMP/calls"
EOF
cat >"$TMP/bin-sudo/sudo" <<EOF
#!/bin/sh
echo "sudo" >>"$TMP/calls"
exec "\$@"
EOF
chmod 755 "$TMP/bin/apt-get" "$TMP/bin-sudo/sudo"
: >"$TMP/calls"
chmod 666 "$TMP/calls"

# The system folders without sudo: where dpkg-query, sed and grep are.
system_path=/usr/sbin:/usr/bin:/sbin:/bin
if PATH=$system_path command -v sudo >/dev/null; then
    echo "skipped: sudo is installed on this machine, so a user without it cannot be shown"
    exit 77
fi

# case: who, PATH, expected exit code, expected calls, a text the output must hold
run_case() {
    local name=$1 who=$2 path=$3 code=$4 calls=$5 text=$6
    : >"$TMP/calls"
    local status=0
    if [ "$who" = root ]; then
        env PATH="$path" bash "$TMP/ci/install-packages.sh" >"$TMP/out" 2>&1 || status=$?
    else
        setpriv --reuid=65534 --regid=65534 --clear-groups env PATH="$path" HOME=/ \
            bash "$TMP/ci/install-packages.sh" >"$TMP/out" 2>&1 || status=$?
    fi
    [ "$status" -eq "$code" ] || fail "$name: exit code $status, expected $code: $(cat "$TMP/out")"
    [ "$(tr '\n' ';' <"$TMP/calls")" = "$calls" ] ||
        fail "$name: calls '$(tr '\n' ';' <"$TMP/calls")', expected '$calls'"
    [ -z "$text" ] || grep -q -- "$text" "$TMP/out" || fail "$name: the output lacks '$text': $(cat "$TMP/out")"
}

run_case "root installs directly" root "$TMP/bin:$system_path" 0 \
    "apt-get update;apt-get install -y vault-no-such-package-for-this-test;" ""
run_case "a user with sudo installs through it" user "$TMP/bin-sudo:$TMP/bin:$system_path" 0 \
    "sudo;apt-get update;sudo;apt-get install -y vault-no-such-package-for-this-test;" ""
run_case "a user without sudo is told what to do" user "$TMP/bin:$system_path" 1 \
    "" "sudo is not installed"
grep -q "vault-no-such-package-for-this-test" "$TMP/out" || fail "the message does not name the missing package"

[ "$failures" -eq 0 ] || exit 1
echo "install-packages.sh installs as root, through sudo, or says what to do"
