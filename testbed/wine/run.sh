#!/usr/bin/env bash
# Runs one Windows program in the private prefix: run.sh WINE_DIR program [args...]
WINE_DIR=$1
shift
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
