#!/usr/bin/env bash
# What the Windows builds and their checks under Wine need (make windows, make test-windows):
# see setup.sh.
exec bash "$(dirname "$0")/setup.sh" windows
