#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass the freedesktop.org checkers.
# Usage: desktop_metadata_test.sh DESKTOP_FILE METAINFO_FILE
set -euo pipefail
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
