#!/bin/sh
# Renders the hand-written SVG sources under tools/art/src into the PNG pictures under
# resources/ that the application loads by name. Every picture is written at 1x (its size
# in points) and at 2x as "<name>@2x.png". The PNGs are committed, so building the
# application never needs this script; run it again after editing a source.
#
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
src="$here/src"
out="$root/resources"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "render.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
    exit 1
}

# render SOURCE NAME WIDTH HEIGHT: SOURCE relative to src/, NAME relative to resources/
# without ".png"; WIDTH and HEIGHT in points (the 1x pixel size).
render() {
    mkdir -p "$(dirname "$out/$2")"
    rsvg-convert -w "$3" -h "$4" -o "$out/$2.png" "$src/$1"
    rsvg-convert -w $(($3 * 2)) -h $(($4 * 2)) -o "$out/$2@2x.png" "$src/$1"
}

# Title bar, item pane and item rows.
render About/LockButtonIcon.svg       About/LockButtonIcon       16 16
render About/addFileBtn.svg           About/addFileBtn           20 20
render About/AddGroupForUP.svg        About/AddGroupForUP        20 20
render About/DropDownMenuIcon.svg     About/DropDownMenuIcon     12 12
render About/ActivityCancel.svg       About/ActivityCancel       16 16
render About/visableon.svg            About/visableon            20 20
render About/visableoff.svg           About/visableoff           20 20
render About/openPath.svg             About/openPath             20 20
render About/DropArrow.svg            About/DropArrow           160 128

# Sidebar section headers.
render About/SecureNotesIcon.svg      About/SecureNotesIcon      16 16
render About/LocalVaultIcon.svg       About/LocalVaultIcon       16 16

# Login screen and the password page of the guide.
render About/loginLock.svg            About/loginLock            96 96
render About/loginOk.svg              About/loginOk              28 28
render About/PasswordHintIconMenu.svg About/PasswordHintIconMenu 28 28

# Stand-ins for the desktop's file and folder icons, for paths it has no icon for.
render About/GenericFile.svg          About/GenericFile         100 100
render About/GenericFolder.svg        About/GenericFolder       100 100

# Notes pane.
render About/NotesPlaceholder.svg     About/NotesPlaceholder    160 128

# Preferences toolbar.
render About/PrefGeneral.svg          About/PrefGeneral          32 32
render About/PrefsIconPassword.svg    About/PrefsIconPassword    32 32
render About/PrefsIconShortcuts.svg   About/PrefsIconShortcuts   32 32
render About/PrefsIconAdvanced.svg    About/PrefsIconAdvanced    32 32

# Title-bar language button, one picture per language table ("languageIcon" names it).
render LanguageIcon/en.svg            LanguageIcon/en            20 20
render LanguageIcon/zh-Hans.svg       LanguageIcon/zh-Hans       20 20

# First-run guide pages (the names end in "_x2" already; that suffix is part of the name).
# step_4 belongs to the secure-notes page, which is built but never shown.
render img/step_1.svg                 img/step_1_x2             360 260
render img/step_2.svg                 img/step_2_x2             360 260
render img/step_3.svg                 img/step_3_x2             360 260
render img/step_4.svg                 img/step_4_x2             360 260
render img/step_5.svg                 img/step_5_x2             360 260

# Application icon for desktop integration (hicolor theme layout). The small sizes come
# from a simplified drawing that stays legible at 16 to 32 pixels.
for n in 16 24 32 48 64 128 256 512; do
    icon="$src/app/tessaro.svg"
    if [ "$n" -le 32 ]; then
        icon="$src/app/tessaro-small.svg"
    fi
    mkdir -p "$out/icons/hicolor/${n}x${n}/apps"
    rsvg-convert -w "$n" -h "$n" -o "$out/icons/hicolor/${n}x${n}/apps/tessaro.png" "$icon"
done
mkdir -p "$out/icons/hicolor/scalable/apps"
cp "$src/app/tessaro.svg" "$out/icons/hicolor/scalable/apps/tessaro.svg"
