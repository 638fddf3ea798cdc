#!/usr/bin/env bash
# Takes the README's picture of the main window: stages the program into a temporary folder with
# a small sample catalog, shows it on a virtual X server, searches for "lecture" and selects the
# book it finds as a user would, and captures the window.
#   scripts/screenshot.sh [OUTPUT.png]     (default: docs/main-window.png)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
output=${1:-$root/docs/main-window.png}
[[ $output == /* ]] || output="$PWD/$output"

bash "$root/scripts/install-deps.sh" --screenshot
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-screenshot-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Staged without an application menu entry: this folder is gone when the script ends.
MARROWDEX_DESKTOP_ENTRY_DIR= MARROWDEX_STAGE_DIR="$work/program" bash "$root/scripts/stage.sh" >/dev/null
home="$work/Knowledge"
mkdir -p "$home"
sqlite3 "$work/program/mymwdx.db" <<SQL
update SYS_CONFIG set ROOT_DIR='$home', FIRST_RUNNING=0;
insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values
 (1,'Physics',0,'Lecture notes and books on physics',0,'',1),
 (2,'Mathematics',0,'Algebra, analysis and a few puzzles',0,'',1),
 (3,'Recipes',0,'Family recipes, scanned',0,'',1),
 (4,'Optics',1,'Lenses, mirrors and light',0,'',2),
 (5,'Thermodynamics',1,'',0,'',2),
 (6,'Feynman Lectures, Volume 1',1,'The classic introduction.'||char(10)||'Chapters 1 to 52; read chapter 4 first.'||char(10)||'Borrowed from the library until March.',1,'feynman-lectures-1.pdf',2),
 (7,'Exam notes 2026',1,'My own summary for the exam',1,'exam-notes-2026.odt',2),
 (8,'Linear algebra',2,'',0,'',2),
 (9,'Grandma''s apple pie',3,'',1,'apple-pie.jpg',2),
 (10,'Travel',0,'Maps, tickets and plans',0,'',1);
SQL

# The window remembers where it was left in the user's configuration folder: a folder of this
# run's own, so the picture starts as a first start does and nothing is left behind.
export XDG_CONFIG_HOME="$work/config"
export MARROWDEX_PROGRAM="$work/program/marrowdex" MARROWDEX_CAPTURE="$work/window.xwd"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -euo pipefail
    "$MARROWDEX_PROGRAM" 2>/dev/null &
    program=$!
    window=$(xdotool search --sync --name "^Marrowdex$" | head -n 1)
    sleep 1
    # Ctrl+F, type "lecture": Physics (by its comment) and the book in it; then select the book.
    # The tree starts below the buttons and the search field.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    row=$((HEIGHT * 76 / 628))
    xdotool mousemove --window "$window" 40 $((row + 8)) click 1
    xdotool key --window "$window" ctrl+f
    xdotool type --window "$window" --delay 80 lecture
    sleep 1
    xdotool mousemove --window "$window" 80 $((row + 8 + 18)) click 1
    sleep 1
    xwd -silent -id "$window" -out "$MARROWDEX_CAPTURE"
    kill "$program"
'
mkdir -p "$(dirname "$output")"
convert "xwd:$work/window.xwd" "$output"
echo "Saved $output"
