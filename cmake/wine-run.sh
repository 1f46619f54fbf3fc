#!/usr/bin/env bash
# CTest's emulator for the win64 build: runs one Windows program under Wine.
# Outside a session (a test program started by hand) it opens one first.
if [ -z "${ARVEXA_WINE_SESSION:-}" ]; then
  exec "$(dirname "$0")/wine-session.sh" "$0" "$@"
fi
exec "$ARVEXA_WINE_LOADER" "$@"
