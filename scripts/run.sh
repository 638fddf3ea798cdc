#!/usr/bin/env bash
# Builds Marrowdex in Release, stages the portable program folder (scripts/stage.sh) and starts
# the program from it.
#   MARROWDEX_STAGE_DIR  the folder to stage into (default: stage/ at the repo root)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
stage=${MARROWDEX_STAGE_DIR:-$root/stage}
[[ $stage == /* ]] || stage="$PWD/$stage"

MARROWDEX_STAGE_DIR="$stage" bash "$root/scripts/stage.sh"
exec "$stage/marrowdex"
