# Runs at install time: writes marrowdex.desktop into the installed program folder, pointing at
# the program there, and places a copy where the desktop's application menu looks for entries:
# $MARROWDEX_DESKTOP_ENTRY_DIR when set (set it empty to skip the copy), otherwise
# $XDG_DATA_HOME/applications or ~/.local/share/applications.
# Expects MARROWDEX_DESKTOP_TEMPLATE (the .desktop.in file).

set(folder "${CMAKE_INSTALL_PREFIX}")
set(staged "$ENV{DESTDIR}${folder}")

# A desktop entry value escapes "\" itself; Exec also wants its argument quoted, with the
# characters that are special inside quotes escaped first, and "%" doubled.
function(desktop_string value out)
    string(REPLACE "\\" "\\\\" value "${value}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
set(exec "${folder}/marrowdex")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
desktop_string("\"${exec}\"" MARROWDEX_EXEC)
desktop_string("${folder}" MARROWDEX_FOLDER)
desktop_string("${folder}/marrowdex.png" MARROWDEX_ICON)

configure_file("${MARROWDEX_DESKTOP_TEMPLATE}" "${staged}/marrowdex.desktop" @ONLY)
message(STATUS "Installing: ${staged}/marrowdex.desktop")

if(DEFINED ENV{MARROWDEX_DESKTOP_ENTRY_DIR})
    set(menu_dir "$ENV{MARROWDEX_DESKTOP_ENTRY_DIR}")
elseif(NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
    set(menu_dir "$ENV{XDG_DATA_HOME}/applications")
elseif(NOT "$ENV{HOME}" STREQUAL "")
    set(menu_dir "$ENV{HOME}/.local/share/applications")
else()
    set(menu_dir "")
endif()
if(NOT menu_dir STREQUAL "" AND "$ENV{DESTDIR}" STREQUAL "")
    file(MAKE_DIRECTORY "${menu_dir}")
    file(COPY_FILE "${staged}/marrowdex.desktop" "${menu_dir}/marrowdex.desktop")
    message(STATUS "Installing: ${menu_dir}/marrowdex.desktop (the application menu's entry)")
endif()
