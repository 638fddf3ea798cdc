#!/usr/bin/env bash
# Takes the help pages' pictures of content search, in English and in Chinese: stages the program
# into a temporary folder with a small knowledge base of real documents (a PDF, an OpenDocument and
# a Word text, a picture), starts it on a virtual X server, waits until it has indexed them, types a
# query into the search field as a user would, goes down to a document found by its text and
# captures the window.
#   scripts/content-search-screenshots.sh [FOLDER]     (default: docs/windows)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
output=${1:-$root/docs/windows}
[[ $output == /* ]] || output="$PWD/$output"

bash "$root/scripts/install-deps.sh" --screenshot >/dev/null
make_documents=$(bash "$root/bench/build_bench.sh" marrowdex_make_documents)
work=$(mktemp -d "${TMPDIR:-/tmp}/marrowdex-content-shots-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The window remembers where it was left in the user's configuration folder: one of this run's own,
# so a picture neither starts from nor leaves a remembered window.
export XDG_CONFIG_HOME="$work/config"

# Staged without an application menu entry: this folder is gone when the script ends.
MARROWDEX_DESKTOP_ENTRY_DIR= MARROWDEX_STAGE_DIR="$work/staged" bash "$root/scripts/stage.sh" >/dev/null

# One knowledge base for both pictures, made afresh for each (its index too).
make_knowledge_base() {
    local program=$1 home=$2
    rm -rf "$program" "$home"
    cp -a "$work/staged" "$program"
    rm -f "$program/mymwdx.db" "$program"/mymwdx_text.db*
    "$program/marrowdex-initdb" "$program/mymwdx.db"
    mkdir -p "$home/Physics" "$home/Physics/Optics" "$home/Physics/Thermodynamics" "$home/Mathematics/Linear algebra" \
        "$home/Recipes" "$home/Travel"
    "$make_documents" pdf "$home/Physics/feynman-lectures-1.pdf" \
        'The Feynman Lectures on Physics\nVolume 1' \
        'Contents\n1 Atoms in motion\n2 Basic physics\n19 Lagrangian mechanics' \
        'Chapter 19\nThe principle of least action\nWhen I was in high school, my physics teacher called me down\none day after class and told me something I found fascinating.'
    "$make_documents" odt "$home/Physics/exam-notes-2026.odt" \
        'Summary for the exam\nLagrangian mechanics: the principle of least action gives the equations of motion.\nNoether: every symmetry gives a conserved quantity.'
    "$make_documents" docx "$home/Physics/reading-notes.docx" \
        '费曼物理学讲义读书笔记\n第十九章讲最小作用量原理：物体沿着作用量最小的路径运动。\n老师在课后告诉费曼的这个原理让他一生着迷。'
    printf '\xff\xd8\xff\xe0 a scanned recipe' >"$home/Recipes/apple-pie.jpg"
    sqlite3 "$program/mymwdx.db" <<SQL
update SYS_CONFIG set ROOT_DIR='$home', FIRST_RUNNING=0;
insert into FILE_NODE(FILE_ID,FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values
 (1,'Physics',0,'Lecture notes and books on physics',0,'',1),
 (2,'Mathematics',0,'Algebra, analysis and a few puzzles',0,'',1),
 (3,'Recipes',0,'Family recipes, scanned',0,'',1),
 (4,'Optics',1,'Lenses, mirrors and light',0,'',2),
 (5,'Thermodynamics',1,'',0,'',2),
 (6,'Feynman Lectures, Volume 1',1,'The classic introduction.'||char(10)||'Borrowed from the library until March.',1,'feynman-lectures-1.pdf',2),
 (7,'Exam notes 2026',1,'My own summary for the exam',1,'exam-notes-2026.odt',2),
 (8,'Linear algebra',2,'',0,'',2),
 (9,'Grandma''s apple pie',3,'',1,'apple-pie.jpg',2),
 (10,'Travel',0,'Maps, tickets and plans',0,'',1),
 (11,'费曼讲义读书笔记',1,'读第十九章时记下的',1,'reading-notes.docx',2);
SQL
}

# Starts the program in `lang`, waits for its index, types `query`, goes down `down` rows from the
# first and saves the window as `picture`.
shoot() {
    local lang=$1 query=$2 down=$3 picture=$4
    local program="$work/program-$lang" home="$work/Knowledge-$lang"
    make_knowledge_base "$program" "$home"
    rm -rf "$XDG_CONFIG_HOME"
    export MARROWDEX_PROGRAM="$program/marrowdex" MARROWDEX_CAPTURE="$work/window.xwd" QUERY=$query DOWN=$down
    export PROGRAM_LANG=$lang
    # The program speaks the language of its LANG; xdotool reads the query in a UTF-8 locale that
    # is installed everywhere.
    LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        set -euo pipefail
        LANG=$PROGRAM_LANG LC_ALL= "$MARROWDEX_PROGRAM" 2>/dev/null &
        program=$!
        window=$(xdotool search --sync --pid "$program" --onlyvisible | head -n 1)
        # Until the program has read the four documents (the picture is one of them, recorded as such).
        index="$(dirname "$MARROWDEX_PROGRAM")/mymwdx_text.db"
        for _ in $(seq 300); do
            count=$(sqlite3 -readonly "$index" "select count(*) from docs;" 2>/dev/null || echo 0)
            [[ $count == 4 ]] && break
            sleep 0.1
        done
        sleep 1
        xdotool windowfocus --sync "$window"
        xdotool key --window "$window" ctrl+f
        xdotool type --window "$window" --delay 120 "$QUERY"
        sleep 1.5
        # Enter goes on to the tree, at its first row; then down to the document.
        xdotool key --window "$window" Return
        for ((i = 0; i < DOWN; i++)); do
            xdotool key --window "$window" Down
        done
        sleep 1.5
        xwd -silent -id "$window" -out "$MARROWDEX_CAPTURE"
        kill "$program"
    '
    mkdir -p "$output"
    convert "xwd:$work/window.xwd" "$output/$picture"
    echo "Saved $output/$picture"
}

shoot en_US.UTF-8 'least action' 1 main-window-content-en.png
shoot zh_CN.UTF-8 '最小作用量' 1 main-window-content-zh.png
