#!/usr/bin/env bash
# Checks the bundle's description files against the schema LV2 ships with its
# headers, with lv2_validate (which runs sord_validate).
set -euo pipefail
bundle=$1
if ! command -v lv2_validate >/dev/null || ! command -v sord_validate >/dev/null; then
  echo "SKIP: lv2_validate or sord_validate missing (bash scripts/install-deps.sh --test installs them)"
  exit 77
fi
out=$(lv2_validate "$bundle"/*.ttl 2>&1) || { echo "$out"; exit 1; }
echo "$out" | grep -v '^Skipping file'
# lv2_validate exits 0 on errors of the data: read its summary.
echo "$out" | grep -q 'Found 0 errors' || exit 1
if echo "$out" | grep -q '^warning'; then exit 1; fi
