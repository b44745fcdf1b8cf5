#!/usr/bin/env bash
# Installs what is missing, builds Zorbek and starts it on its default database.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release Zorbek zorbek-cli
exec build/Zorbek "$@"
