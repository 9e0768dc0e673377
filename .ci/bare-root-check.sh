#!/usr/bin/env bash
# Checks that .ci/packages.txt names every Debian package the build, the tests,
# the Debian packages and the demo need: in a minimal Debian 12 root with git
# alone (mmdebstrap --variant=minbase), clone the repository, install the
# listed packages, build, run every test, build and lint the Debian packages,
# install the main one and run the demo, timing each step.
#
# Usage (as root, or with sudo): .ci/bare-root-check.sh ROOT [BRANCH]
# ROOT is created with mmdebstrap when it does not exist yet (apt-get install
# mmdebstrap); BRANCH (default: the current one) is cloned from this checkout.
# Step times go to ROOT/check/times.txt and each step's output to
# ROOT/check/<step>.log.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root=${1:?usage: bare-root-check.sh ROOT [BRANCH]}
branch=${2:-$(git -C "$here" rev-parse --abbrev-ref HEAD)}
if [ "$(id -u)" -ne 0 ]; then
  echo "bare-root-check.sh: run it as root (or with sudo): it builds a root and mounts /proc and /dev in it" >&2
  exit 1
fi

if [ ! -d "$root" ]; then
  start=$(date +%s)
  mmdebstrap --variant=minbase --include=git,ca-certificates bookworm "$root"
  echo "mmdebstrap: $(( $(date +%s) - start )) s" >&2
fi
mkdir -p "$root/check"
rm -rf "$root/check/repo.git"
git clone -q --bare --branch "$branch" --single-branch "$here" "$root/check/repo.git"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
mount_in() { mount "$@"; mounted=("${@: -1}" "${mounted[@]}"); }
cleanup() { for m in "${mounted[@]}"; do umount -R "$m" || umount -lR "$m"; done; }
trap cleanup EXIT
mount_in -t proc proc "$root/proc"
mount_in --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount_in -t sysfs sysfs "$root/sys"

cat >"$root/check/steps.sh" <<'EOF'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
times=/check/times.txt
: >"$times"
failed=0
step() {
  local name=$1; shift
  local start; start=$(date +%s)
  if "$@" >"/check/$name.log" 2>&1; then
    echo "$name: $(( $(date +%s) - start )) s" | tee -a "$times"
  else
    echo "$name: FAILED after $(( $(date +%s) - start )) s (see /check/$name.log)" | tee -a "$times"
    failed=1
  fi
}
rm -rf /root/vault
step clone git clone -q /check/repo.git /root/vault
cd /root/vault || exit 1
step packages bash .ci/install-packages.sh --always
step build bash -c 'cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build build -j2'
step tests bash -c 'cd build && ctest --output-on-failure -j2'
step cpack bash -c 'cd build && rm -f ./*.deb && cpack -G DEB'
step demo ./run-demo.sh
step lintian bash -c 'lintian --fail-on error,warning build/*.deb'
step install-deb bash -c 'apt-get install -y ./build/vault-maintenance_*.deb'
step man-page bash -c 'man -P cat Trevalon | head -20'
step demo-installed ./run-demo.sh /usr/bin
exit "$failed"
EOF
chroot "$root" nice -n 10 bash /check/steps.sh
