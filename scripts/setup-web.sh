#!/usr/bin/env bash
# What the web build and its browser check need (make web, make test-web): see setup.sh.
exec bash "$(dirname "$0")/setup.sh" web
