#!/usr/bin/env bash
# Runs the benchmark under Wine and, in the same run, OpenSSL's optimised RC4
# (`openssl speed`, once before and once after), then prints our RC4 keystream
# speed as a share of OpenSSL's. Exit status 1 when that share is below 90 %
# or the benchmark itself failed.
#
#   bench/compare.sh [benchmark options...]      e.g. bench/compare.sh --size-mib 256
#
# The benchmark runs through bench/run.sh (TL_BENCH_BUILD and the other
# settings described there apply).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

# OpenSSL prints thousands of bytes per second; MB/s (10^6) like ours.
openssl_rc4() {
    openssl speed -provider legacy -provider default -evp rc4 -bytes 16384 2>/dev/null |
        awk '$1 == "RC4" { sub("k", "", $2); printf "%.1f\n", $2 / 1000 }'
}

echo "== openssl speed (before)"
before="$(openssl_rc4)"
echo "RC4 ${before} MB/s"
echo "== tessalock_bench $*"
status=0
output="$("$ROOT/bench/run.sh" "$@")" || status=$?
echo "$output"
echo "== openssl speed (after)"
after="$(openssl_rc4)"
echo "RC4 ${after} MB/s"

ours="$(echo "$output" | sed -n 's/^RC4_MBPS=//p' | tr -d '\r')"
[[ -n "$ours" && -n "$before" && -n "$after" ]] || { echo "missing figures" >&2; exit 1; }
awk -v ours="$ours" -v a="$before" -v b="$after" 'BEGIN {
    ref = (a > b) ? a : b
    share = ours / ref
    printf "\nRC4 keystream %.1f MB/s = %.0f %% of OpenSSL RC4 %.1f MB/s (the faster of its two runs); target >= 90 %%\n", ours, 100 * share, ref
    exit (share >= 0.90) ? 0 : 1
}' || status=1
exit "$status"
