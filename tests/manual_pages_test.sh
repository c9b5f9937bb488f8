#!/usr/bin/env bash
# Each manual page shows with man, and groff has nothing to warn about it (-ww).
# Usage: manual_pages_test.sh PAGE.1...
set -euo pipefail
status=0
for page in "$@"; do
    shown=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null) || {
        echo "FAIL: man could not show $page" >&2
        status=1
    }
    if [ -n "$shown" ]; then
        echo "FAIL: $page:" >&2
        echo "$shown" >&2
        status=1
    fi
done
exit $status
