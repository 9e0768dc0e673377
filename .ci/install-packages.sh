#!/usr/bin/env bash
# Installs the packages of .ci/packages.txt that are not installed yet.
# With --always, runs apt-get update and install even when nothing is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "${here}/packages.txt" | grep -v '^$')
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "${package}" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("${package}")
  fi
done

if [ "${1:-}" != "--always" ] && [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
# As root the packages are installed directly; otherwise through sudo, when
# it is there. A minimal Debian has no sudo: then say how to go on.
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    {
      echo "install-packages.sh: these Debian packages are missing: ${missing[*]:-(none; --always given)}"
      echo "Installing them needs root, and sudo is not installed. Either run as root:"
      echo "    su -c 'bash ${here}/install-packages.sh'"
      echo "or install sudo as root (apt-get install sudo), add yourself to the group sudo, and run this again."
    } >&2
    exit 1
  fi
  sudo="sudo"
fi
${sudo} apt-get update
DEBIAN_FRONTEND=noninteractive ${sudo} apt-get install -y "${packages[@]}"
