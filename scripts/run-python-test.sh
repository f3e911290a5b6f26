#!/usr/bin/env bash
# Runs a conformance test script with Debian's own python3, whose modules
# (python3-mido) scripts/install-deps.sh --test installs; another python3
# first on PATH would not have them. Exit status 77 tells ctest "skipped".
if [[ ! -x /usr/bin/python3 ]]; then
  echo "SKIPPED: /usr/bin/python3 is not installed (install it with scripts/install-deps.sh --test)"
  exit 77
fi
exec /usr/bin/python3 "$@"
