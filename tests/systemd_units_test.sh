#!/usr/bin/env bash
# The shipped systemd units, made for the built chainscan, pass
# "systemd-analyze verify", and each scores as safe in its security report.
#   tests/systemd_units_test.sh UNITS_DIR CHAINSCAN
set -uo pipefail
units=$1
chainscan=$2
if ! command -v systemd-analyze >/dev/null; then
    echo "systemd-analyze is not installed (scripts/install-deps installs systemd); skipped"
    exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for template in "$units"/*.in; do
    unit=$(basename "${template%.in}")
    sed "s|@CHAINSCAN@|$chainscan|g" "$template" > "$work/$unit"
done
# A template is verified as an instance.
cp "$work/chainscan-sql@.service" "$work/chainscan-sql@chain.service"
failures=0
verified=$(cd "$work" && systemd-analyze verify --man=no ./chainscan-verify.service ./chainscan-verify.timer \
    ./chainscan-follow.service ./chainscan-sql@chain.service 2>&1)
if [[ $? -ne 0 || -n $verified ]]; then
    echo "FAIL: systemd-analyze verify:"
    echo "$verified"
    failures=$((failures + 1))
fi
for unit in chainscan-verify.service chainscan-follow.service chainscan-sql@chain.service; do
    score=$(cd "$work" && systemd-analyze security --offline=yes "./$unit" 2>/dev/null | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) \([A-Z]*\).*/\1 \2/p')
    echo "$unit: $score"
    if [[ $score != *SAFE ]]; then
        echo "FAIL: $unit is not rated SAFE"
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
