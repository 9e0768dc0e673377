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
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
${sudo} apt-get update
DEBIAN_FRONTEND=noninteractive ${sudo} apt-get install -y "${packages[@]}"
