#!/usr/bin/env bash
# Builds the content search benchmark (Release, in its own build folder) and runs it. The corpus
# script: 100,000 generated documents of mixed Chinese and English (about 2 GB of text) go into a
# content index in a temporary folder (about 4 GB with the index; --corpus=PATH keeps it at PATH
# and uses it again next time), with 200 real 10-page PDFs beside it.
# Extra arguments go to the benchmark, e.g. --documents=10000, --pdfs=100, --no-scan, --keep.
# Environment: as bench/build_bench.sh. Needs pdftotext (poppler-utils).
set -euo pipefail

here="$(dirname "${BASH_SOURCE[0]}")"
bench="$(bash "$here/build_bench.sh" marrowdex_content_search_bench)"
bash "$here/with_work_dir.sh" marrowdex-content-bench "$bench" "$@"
