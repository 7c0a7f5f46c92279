#!/usr/bin/env bash
# The shared library exports exactly the twelve host functions.
set -euo pipefail
expected="CancelEncoding GetEstimatedTimeSec GetFirstSlotImage GetProgressValue GetReplacedSlot GetThemeContext GetThemeLimitInfo KV_CreateReelka KV_StartReelka KV_UpdateSlot ReleaseReelka SaveReelka"
actual=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports: the twelve functions and nothing else"
