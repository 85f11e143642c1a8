#!/bin/sh
# Starts a Windows program under wine without wine's own diagnostics and
# without the .NET and HTML engine installers that a new wine prefix offers.
WINEDEBUG=${WINEDEBUG:--all}
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEDEBUG WINEDLLOVERRIDES
exec "${QORTA_WINE:-wine}" "$@"
